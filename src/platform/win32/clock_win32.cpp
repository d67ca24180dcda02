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

  void SleepMs(int milliseconds) override {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
  }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() {
  return std::make_unique<Win32Clock>();
}

}  // namespace nimbrix
