#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/station_platform.h"

namespace nimbrix {

// The platform as the station uses it: the console gathers what is drawn, and it is handed to
// the terminal in one write before every step that can make the station wait: a pause (the
// cycle's, the report logic's, those of start-up and of a failed pass), a call to the decoder,
// a connect or a send, the update question, a program run. The screen the operator sees
// during each wait is therefore the one drawn up to it, and a quiet cycle, whose drawing ends
// at its pause, reaches the terminal as one write. A pause is also where the station does its
// work between cycles (platform/wait_work.h): the pause is cut where the work is due, and
// still ends when it would have ended.
class FlushingPlatform {
 public:
  explicit FlushingPlatform(Platform& inner);
  FlushingPlatform(const FlushingPlatform&) = delete;
  FlushingPlatform& operator=(const FlushingPlatform&) = delete;

  Platform& platform() { return platform_; }

 private:
  class FlushingClock : public Clock {
   public:
    FlushingClock(Clock& inner, Console& console, WaitWorkSlot* waits)
        : inner_(inner), console_(console), waits_(waits) {}
    LocalTime Now() override { return inner_.Now(); }
    std::int64_t MonotonicMs() override { return inner_.MonotonicMs(); }
    std::int64_t UtcMs() override { return inner_.UtcMs(); }
    void SleepMs(int milliseconds) override;

   private:
    Clock& inner_;
    Console& console_;
    WaitWorkSlot* waits_;
  };

  class FlushingAutomation : public Automation {
   public:
    FlushingAutomation(Automation& inner, Console& console) : inner_(inner), console_(console) {}
    bool Attach(std::string_view progId) override;
    bool IsAttached() const override { return inner_.IsAttached(); }
    CallResult Call(std::string_view member, std::int16_t argument) override;
    std::vector<CallResult> CallRound(std::string_view member,
                                      const std::vector<std::int16_t>& arguments) override;
    std::optional<std::vector<ListedEntry>> CallList(std::string_view member) override;
    void Release() override { inner_.Release(); }

   private:
    Automation& inner_;
    Console& console_;
  };

  class FlushingTcpClient : public TcpClient {
   public:
    FlushingTcpClient(TcpClient& inner, Console& console) : inner_(inner), console_(console) {}
    bool Open(const std::string& host, int port) override;
    int Send(std::string_view bytes) override;
    std::string TakeReceived() override { return inner_.TakeReceived(); }
    LinkFault CheckAlive() override { return inner_.CheckAlive(); }
    void Close() override { inner_.Close(); }
    bool IsOpen() const override { return inner_.IsOpen(); }

   private:
    TcpClient& inner_;
    Console& console_;
  };

  class FlushingHttpClient : public HttpClient {
   public:
    FlushingHttpClient(HttpClient& inner, Console& console) : inner_(inner), console_(console) {}
    std::optional<std::string> Get(const std::string& url, const std::string& agent,
                                   const std::string& extraHeader) override;

   private:
    HttpClient& inner_;
    Console& console_;
  };

  class FlushingProcessRunner : public ProcessRunner {
   public:
    FlushingProcessRunner(ProcessRunner& inner, Console& console)
        : inner_(inner), console_(console) {}
    void Run(const std::string& commandLine) override;

   private:
    ProcessRunner& inner_;
    Console& console_;
  };

  FlushingClock clock_;
  FlushingAutomation automation_;
  FlushingTcpClient tcp_;
  FlushingHttpClient http_;
  FlushingProcessRunner process_;
  Platform platform_;
};

}  // namespace nimbrix
