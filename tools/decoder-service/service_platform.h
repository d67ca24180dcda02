#pragma once

// The operating system's half of the service: service_posix.cpp (sd-bus, sd-event) and
// service_win32.cpp (the COM running object).

#include <atomic>
#include <memory>

#include "decoder-service/service.h"

namespace decoder {

class Service::Platform {
 public:
  virtual ~Platform() = default;
  virtual int Run() = 0;

  void RequestStop(int exitCode) {
    int none = kNoStop;
    stopCode_.compare_exchange_strong(none, exitCode);
    WakeForStop();
  }

 protected:
  static constexpr int kNoStop = -1;
  // The code of the first stop request; kNoStop before one.
  int StopCode() const { return stopCode_.load(); }

 private:
  // Makes Run() look at the stop request; called from any thread.
  virtual void WakeForStop() = 0;

  std::atomic<int> stopCode_{kNoStop};
};

std::unique_ptr<Service::Platform> MakePlatformService(ServiceOptions options, AnswerSource source);

}  // namespace decoder
