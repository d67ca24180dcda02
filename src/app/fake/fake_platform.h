#pragma once

#include "app/station_platform.h"
#include "platform/fake/fakes.h"
#include "platform/wait_work.h"
#include "uplink/fake/fake_tcp_client.h"

namespace nimbrix::fake {

// All fakes wired together, with one journal.
struct FakePlatform {
  Journal journal;
  FakeConsole console{25, 80, &journal};
  FakeClock clock{LocalTime{2026, 12, 8, 20, 41, 5, 0}, &journal};
  FakeAutomation automation{&journal};
  FakeTcpClient tcp{&journal};
  FakeHttpClient http;
  FakeProcessRunner process{&journal};
  FakeFiles files{&journal};
  WaitWorkSlot waits;  // the station's work while it waits, as main() gives it
  Platform platform() {
    return Platform{console, clock, automation, tcp, http, process, files, &waits};
  }
};

}  // namespace nimbrix::fake
