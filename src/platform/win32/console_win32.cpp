// The Windows console: cells written through the console API, raw keyboard records.
// When output or input is not a console (a pipe, a file), plain bytes go through instead.
// The console modes and colours are restored on every way out: normal end, exceptions, the
// console being closed, and fatal errors (out of memory, std::terminate), which end with 255.

#include <windows.h>

#include <exception>
#include <new>
#include <string>

#include "platform/system.h"
#include "platform/win32/ansi_text.h"

namespace nimbrix {

namespace {

// Shared with the control handler, which Windows calls on a thread of its own.
HANDLE g_out = INVALID_HANDLE_VALUE;
HANDLE g_in = INVALID_HANDLE_VALUE;
DWORD g_savedOutMode = 0;
DWORD g_savedInMode = 0;
WORD g_savedAttributes = 0;
volatile LONG g_outSaved = 0;
volatile LONG g_inSaved = 0;

void RestoreConsole() {
  if (InterlockedExchange(&g_outSaved, 0)) {
    SetConsoleTextAttribute(g_out, g_savedAttributes);
    SetConsoleMode(g_out, g_savedOutMode);
  }
  if (InterlockedExchange(&g_inSaved, 0)) SetConsoleMode(g_in, g_savedInMode);
}

[[noreturn]] void FatalError() {
  RestoreConsole();
  static const char message[] = "\r\nNIMBRIX: fatal system error\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
  ExitProcess(255);
}

// Ctrl+C and Ctrl+Break belong to the program (it ignores them); closing the window or
// logging off ends it, so the console is put back first.
BOOL WINAPI OnControlEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  RestoreConsole();
  return FALSE;
}

bool IsModifier(WORD key) {
  switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
      return true;
    default:
      return false;
  }
}

std::string Narrow(wchar_t c) {
  char bytes[8];
  const int n = WideCharToMultiByte(CP_ACP, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
  return n > 0 ? std::string(bytes, static_cast<std::size_t>(n)) : std::string("?");
}

class Win32Console : public Console {
 public:
  Win32Console() {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleMode(g_out, &mode) && GetConsoleScreenBufferInfo(g_out, &info)) {
      outputIsConsole_ = true;
      g_savedOutMode = mode;
      g_savedAttributes = info.wAttributes;
      g_outSaved = 1;
      attributes_ = info.wAttributes;
      SetConsoleMode(g_out, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
    }
    if (GetConsoleMode(g_in, &mode)) {
      inputIsConsole_ = true;
      g_savedInMode = mode;
      g_inSaved = 1;
      // No line editing, no echo, no processed input: Ctrl+C arrives as the key 3.
      SetConsoleMode(g_in, 0);
      // Wine's console starts reading the terminal only once the input handle was waited on.
      WaitForSingleObject(g_in, 0);
    }
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    std::set_new_handler([] { FatalError(); });
    std::set_terminate([] { FatalError(); });
  }

  ~Win32Console() override {
    RestoreConsole();
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
  }

  void MoveTo(int row, int col) override {
    if (!outputIsConsole_) {
      if (!atLineStart_)
        Emit("\r\n");  // plain text output: each positioned piece starts a new line
      return;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(g_out, &info)) return;
    // Rows and columns of the visible window, which may sit anywhere in a taller buffer.
    const int x = info.srWindow.Left + col - 1;
    const int y = info.srWindow.Top + row - 1;
    if (x < 0 || y < 0 || x >= info.dwSize.X || y >= info.dwSize.Y) return;
    SetConsoleCursorPosition(g_out, COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
  }

  void SetColor(int color) override {
    if (!outputIsConsole_) return;
    attributes_ = static_cast<WORD>((attributes_ & ~WORD{0x0f}) | (color & 0x0f));
    SetConsoleTextAttribute(g_out, attributes_);
  }

  void Clear() override {
    if (!outputIsConsole_) return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(g_out, &info)) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD done = 0;
    FillConsoleOutputCharacterA(g_out, ' ', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(g_out, info.wAttributes, cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(g_out, COORD{0, 0});
  }

  void Write(std::string_view text) override {
    if (!outputIsConsole_) {
      Emit(text);
      return;
    }
    // The bytes are ANSI code page text, which need not be the console's own code page.
    const std::wstring wide = Widen(text);
    const wchar_t* data = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(g_out, data, left, &written, nullptr) || written == 0) return;
      data += written;
      left -= written;
    }
  }

  void LineBreak() override {
    if (outputIsConsole_) {
      Write("\r\n");
    } else {
      Emit("\r\n");
    }
  }

  void EraseToEndOfRow() override {
    if (!outputIsConsole_) return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(g_out, &info)) return;
    // After a text that filled the row the console has already moved the cursor on to the
    // next row, which its own text overwrites next.
    const DWORD cells = static_cast<DWORD>(info.dwSize.X - info.dwCursorPosition.X);
    DWORD done = 0;
    FillConsoleOutputCharacterA(g_out, ' ', cells, info.dwCursorPosition, &done);
    FillConsoleOutputAttribute(g_out, attributes_, cells, info.dwCursorPosition, &done);
  }

  // Every call above goes straight into the console's screen buffer, which has no stream of
  // bytes to gather; plain output is written as it comes. Nothing is held back.
  void Flush() override {}

  std::string PollKey() override {
    if (!inputIsConsole_) return ReadPlainByte(false);
    for (;;) {
      DWORD pending = 0;
      if (!GetNumberOfConsoleInputEvents(g_in, &pending) || pending == 0) return "";
      std::string key;
      if (!ReadOneRecord(key)) return "";
      if (!key.empty()) return key;
    }
  }

  std::string WaitKey() override {
    if (!inputIsConsole_) return ReadPlainByte(true);
    for (;;) {
      if (WaitForSingleObject(g_in, INFINITE) != WAIT_OBJECT_0) return "";
      std::string key = PollKey();
      if (!key.empty()) return key;
    }
  }

  // The console's screen buffer keeps its cells when the window changes size: nothing to redo.
  bool TakeResized() override { return false; }

  bool IsTerminal() const override { return outputIsConsole_; }
  // Ctrl+C and Ctrl+Break are claimed and ignored; nothing else asks the program to stop.
  bool StopRequested() const override { return false; }

 private:
  void Emit(std::string_view bytes) {
    if (!bytes.empty()) atLineStart_ = bytes.back() == '\n';
    const char* data = bytes.data();
    DWORD left = static_cast<DWORD>(bytes.size());
    while (left > 0) {
      DWORD written = 0;
      if (!WriteFile(g_out, data, left, &written, nullptr) || written == 0) return;
      data += written;
      left -= written;
    }
  }

  // Reads one input record; `key` gets its text when it is a key press that means a key.
  static bool ReadOneRecord(std::string& key) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputW(g_in, &record, 1, &read) || read != 1) return false;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return true;
    const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
    // Wine reports ESC with character 0: the virtual key decides.
    if (k.wVirtualKeyCode == VK_ESCAPE) {
      key = kKeyEscape;
    } else if (k.uChar.UnicodeChar != 0) {
      key = Narrow(k.uChar.UnicodeChar);
    } else if (!IsModifier(k.wVirtualKeyCode)) {
      // Arrows, function keys and the like: a zero byte and the scan code, as DOS gave them.
      key = std::string(1, '\0') + static_cast<char>(k.wVirtualScanCode & 0xff);
    }
    return true;
  }

  // Input that is not a console: one byte, or "" when none is there (or the input ended).
  std::string ReadPlainByte(bool wait) {
    if (inputClosed_) return "";
    if (!wait) {
      const DWORD type = GetFileType(g_in);
      if (type == FILE_TYPE_PIPE) {
        DWORD available = 0;
        if (!PeekNamedPipe(g_in, nullptr, 0, nullptr, &available, nullptr)) {
          inputClosed_ = true;
          return "";
        }
        if (available == 0) return "";
      } else if (type != FILE_TYPE_DISK) {
        return "";  // a device we cannot ask without blocking
      }
    }
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(g_in, &byte, 1, &read, nullptr) || read != 1) {
      inputClosed_ = true;
      return "";
    }
    return std::string(1, byte);
  }

  bool outputIsConsole_ = false;
  bool atLineStart_ = true;  // plain text output: the last byte out was a line end
  bool inputIsConsole_ = false;
  bool inputClosed_ = false;
  WORD attributes_ = 7;
};

}  // namespace

std::unique_ptr<Console> MakeSystemConsole() {
  return std::make_unique<Win32Console>();
}

}  // namespace nimbrix
