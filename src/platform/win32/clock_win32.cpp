#include <windows.h>

#include "platform/system.h"

namespace nimbrix {

namespace {

class Win32Clock : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  std::int64_t MonotonicMs() override { return static_cast<std::int64_t>(GetTickCount64()); }

  std::int64_t UtcMs() override {
    // 100 ns steps since 1601-01-01; 11644473600 s lie between that and 1970.
    FILETIME file{};
    GetSystemTimeAsFileTime(&file);
    const std::int64_t ticks =
        (static_cast<std::int64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return ticks / 10000 - std::int64_t{11644473600} * 1000;
  }

  void SleepMs(int milliseconds) override {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
  }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() {
  return std::make_unique<Win32Clock>();
}

}  // namespace nimbrix
