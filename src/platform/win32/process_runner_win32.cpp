#include <windows.h>

#include <string>
#include <vector>

#include "platform/system.h"

namespace nimbrix {

namespace {

// Starts the command line in a normal window and waits for its end; its outcome is not needed,
// and a command that cannot be started is simply skipped.
class Win32ProcessRunner : public ProcessRunner {
 public:
  void Run(const std::string& commandLine) override {
    // CreateProcessA may write into the command line: give it a copy, cut at any NUL.
    std::vector<char> line(commandLine.c_str(), commandLine.c_str() + commandLine.size() + 1);
    line.back() = '\0';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
      return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
};

}  // namespace

std::unique_ptr<ProcessRunner> MakeSystemProcessRunner() {
  return std::make_unique<Win32ProcessRunner>();
}

}  // namespace nimbrix
