// The terminal on POSIX systems: ANSI/VT output, raw keyboard input through termios.
// Output is gathered and written with one write() per Flush(), so the terminal gets a drawn
// screen as a whole: fewer system calls, and no half-drawn screen over a slow link.
// The terminal settings are restored on every way out: normal end, exceptions, SIGHUP, SIGQUIT,
// and fatal errors (out of memory, std::terminate), which end with 255. SIGTERM (and SIGINT
// when there is no terminal to type Ctrl+C on) asks the program to stop: the keyboard then
// reads as ESC, and the program ends as ESC ends it.

#include "platform/posix/console_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "platform/system.h"

namespace nimbrix {

namespace {

// Shared with the signal handlers: everything here is set before the handlers are installed.
termios g_savedTermios;
volatile sig_atomic_t g_termiosSaved = 0;
volatile sig_atomic_t g_outputIsTerminal = 0;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_widthChanged = 1;  // the terminal's width is to be asked again
volatile sig_atomic_t g_stopRequested = 0;

constexpr char kResetSequence[] = "\x1b[0m\x1b[?25h\x1b[?7h";

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// Async-signal-safe: only tcsetattr and write.
void RestoreTerminal() {
  if (g_outputIsTerminal) WriteAll(STDOUT_FILENO, kResetSequence, sizeof kResetSequence - 1);
  if (g_termiosSaved) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTermios);
}

void OnTerminatingSignal(int signal) {
  RestoreTerminal();
  // End the way the signal would have ended us, so the parent sees the real cause.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

[[noreturn]] void FatalError() {
  RestoreTerminal();
  static const char message[] = "\r\nNIMBRIX: fatal system error\r\n";
  WriteAll(STDERR_FILENO, message, sizeof message - 1);
  ::_exit(255);
}

void OnResize(int) {
  g_resized = 1;
  g_widthChanged = 1;
}

void OnStopRequest(int) {
  g_stopRequested = 1;
}

void InstallHandlers(bool inputIsTerminal) {
  struct sigaction resize {};
  resize.sa_handler = OnResize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &resize, nullptr);

  struct sigaction stop {};
  stop.sa_handler = OnStopRequest;
  sigemptyset(&stop.sa_mask);
  ::sigaction(SIGTERM, &stop, nullptr);

  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGHUP, SIGQUIT}) ::sigaction(s, &action, nullptr);
  // On a terminal Ctrl+C is an ordinary key; a SIGINT can then only come from elsewhere.
  ::sigaction(SIGINT, inputIsTerminal ? &action : &stop, nullptr);
  ::signal(SIGPIPE, SIG_IGN);  // a closed connection is reported by send(), not by a signal
  std::set_new_handler([] { FatalError(); });
  std::set_terminate([] { FatalError(); });
}

// Windows console colour numbers (bit 0 blue, 1 green, 2 red, 3 bright) as ANSI foregrounds.
std::string ColorSequence(int color) {
  color &= 15;
  if (color == 7) return "\x1b[39m";  // normal text: the terminal's own foreground
  const int ansi = ((color & 4) ? 1 : 0) | ((color & 2) ? 2 : 0) | ((color & 1) ? 4 : 0);
  return "\x1b[" + std::to_string(((color & 8) ? 90 : 30) + ansi) + "m";
}

// Held output beyond which a flush happens anyway (a drawn screen is about 2 KB).
constexpr std::size_t kMaxHeldBytes = 64 * 1024;

class PosixConsole : public Console {
 public:
  // The process's own terminal: standard input and output.
  PosixConsole() : out_(STDOUT_FILENO) {
    inputIsTerminal_ = ::isatty(STDIN_FILENO) == 1;
    g_outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    terminal_ = g_outputIsTerminal != 0;
    if (inputIsTerminal_ && ::tcgetattr(STDIN_FILENO, &g_savedTermios) == 0) {
      g_termiosSaved = 1;
      termios raw = g_savedTermios;
      // Keys arrive one by one, unechoed; Ctrl+C is byte 3, not a signal.
      raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
      raw.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR);
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    }
    InstallHandlers(inputIsTerminal_);
    if (terminal_) Emit("\x1b[?7h");  // wrap at the right edge
    Flush();
  }

  // Output only, to `fd` as to a terminal of its own size; no keyboard, no signals.
  explicit PosixConsole(int fd) : out_(fd), terminal_(true), ownTerminal_(false) {
    inputClosed_ = true;
  }

  ~PosixConsole() override {
    Flush();
    if (ownTerminal_) RestoreTerminal();
  }

  void MoveTo(int row, int col) override {
    if (terminal_) {
      Emit("\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H");
      column_ = col;
    } else if (!atLineStart_) {
      Emit("\n");  // plain text output: each positioned piece starts a new line
    }
  }

  void SetColor(int color) override {
    if (terminal_) Emit(ColorSequence(color));
  }

  void Clear() override {
    if (terminal_) Emit("\x1b[2J\x1b[H");
    column_ = 1;
  }

  void Write(std::string_view text) override {
    Emit(text);
    // Characters, not bytes: UTF-8 continuation bytes take no column of their own.
    for (unsigned char c : text) column_ += (c & 0xc0) != 0x80;
  }

  void LineBreak() override {
    Emit(terminal_ ? "\r\n" : "\n");
    column_ = 1;
  }

  void EraseToEndOfRow() override {
    if (!terminal_) return;
    // A text that ended in the last column leaves a VT terminal's cursor on that column,
    // waiting to wrap; "erase to the end" would then take the text's last character.
    const int width = Width();
    if (column_ > 1 && (column_ - 1) % width == 0) return;
    Emit("\x1b[K");
  }

  void Flush() override {
    if (held_.empty()) return;
    WriteAll(out_, held_.data(), held_.size());
    held_.clear();
  }

  std::string PollKey() override { return g_stopRequested ? kKeyEscape : ReadKey(0); }

  std::string WaitKey() override {
    Flush();  // what the key is asked for must be on the screen
    std::string key = g_stopRequested ? "" : ReadKey(-1);
    return g_stopRequested ? kKeyEscape : key;
  }

  bool TakeResized() override {
    const bool resized = g_resized != 0;
    g_resized = 0;
    return resized && terminal_;
  }

  bool IsTerminal() const override { return terminal_; }
  bool StopRequested() const override { return g_stopRequested != 0; }

 private:
  void Emit(std::string_view bytes) {
    held_.append(bytes);
    if (!bytes.empty()) atLineStart_ = bytes.back() == '\n';
    if (held_.size() > kMaxHeldBytes) Flush();
  }

  // The terminal's width, asked again only after it changed size (SIGWINCH), not per row.
  int Width() {
    if (width_ == 0 || (ownTerminal_ && g_widthChanged)) {
      if (ownTerminal_) g_widthChanged = 0;
      winsize size{};
      width_ = ::ioctl(out_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    }
    return width_;
  }

  // One byte of input within timeoutMs (-1: wait); -1 when none (or end of input).
  int ReadByte(int timeoutMs) {
    if (inputClosed_) return -1;
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    for (;;) {
      const int ready = ::poll(&fd, 1, timeoutMs);
      if (ready < 0 && errno == EINTR && g_stopRequested) return -1;
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return -1;
      break;
    }
    unsigned char byte = 0;
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
      if (n == 1) return byte;
      if (n < 0 && errno == EINTR) continue;
      inputClosed_ = true;  // end of input (a pipe or file that ran out): no more keys
      return -1;
    }
  }

  // A key's text: one byte, a whole UTF-8 character, or a whole escape sequence (arrows,
  // function keys). A lone ESC is told apart by the absence of a follow-up byte.
  std::string ReadKey(int timeoutMs) {
    const int first = ReadByte(timeoutMs);
    if (first < 0) return "";
    std::string key(1, static_cast<char>(first));
    if (first == 0x1b) {
      const int next = ReadByte(kSequenceGapMs);
      if (next < 0) return key;
      key += static_cast<char>(next);
      if (next == '[' || next == 'O') {
        // Parameters and intermediates, up to the final byte 0x40..0x7e (bounded).
        for (int i = 0; i < 16; ++i) {
          const int c = ReadByte(kSequenceGapMs);
          if (c < 0) break;
          key += static_cast<char>(c);
          if (c >= 0x40 && c <= 0x7e && !(next == '[' && i == 0 && c == '[')) break;
        }
      }
      return key;
    }
    int continuation = first >= 0xf0 ? 3 : first >= 0xe0 ? 2 : first >= 0xc0 ? 1 : 0;
    while (continuation-- > 0) {
      const int c = ReadByte(kSequenceGapMs);
      if (c < 0) break;
      key += static_cast<char>(c);
    }
    return key;
  }

  static constexpr int kSequenceGapMs = 30;
  int out_;
  bool terminal_ = false;
  bool ownTerminal_ = true;  // the process's terminal, restored at the end
  std::string held_;         // drawn, not yet written
  int width_ = 0;
  int column_ = 1;           // where the next character goes, counted from the last positioning
  bool atLineStart_ = true;  // plain text output: the last byte out was a line end
  bool inputIsTerminal_ = false;
  bool inputClosed_ = false;
};

}  // namespace

std::unique_ptr<Console> MakeSystemConsole() {
  return std::make_unique<PosixConsole>();
}

std::unique_ptr<Console> MakeTerminalOutput(int fd) {
  return std::make_unique<PosixConsole>(fd);
}

}  // namespace nimbrix
