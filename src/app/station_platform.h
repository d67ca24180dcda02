#pragma once

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/http_client.h"
#include "platform/process_runner.h"
#include "platform/wait_work.h"
#include "uplink/tcp_client.h"

namespace nimbrix {

// Everything the program asks of the operating system, handed to the code that needs it.
struct Platform {
  Console& console;
  Clock& clock;
  Automation& automation;
  TcpClient& tcp;
  HttpClient& http;
  ProcessRunner& process;
  Files& files;
  // What the station does while a blocking step waits (none: the waits are whole).
  WaitWorkSlot* waits = nullptr;
};

}  // namespace nimbrix
