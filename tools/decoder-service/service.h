#pragma once

// The decoder's side of the station's contract, shared by sonde-sim and sonde-bridge.
//
// Linux: owns the name on the D-Bus session bus and answers GETSONDEDATA on the object
// /NAME (dots as slashes), from an sd-event loop; with a list source also GETSONDELIST, which a
// decoder without one does not have at all (the caller gets UnknownMethod, as from an older one).
// SIGTERM and SIGINT end it with 0. Windows: registers the Automation object under the fixed CLSID
// in the running object table; COM's RPC threads serve the calls while Run() waits. Ctrl+C,
// Ctrl+Break, closing the console and logging off end it with 0.
//
// With faultControls (sonde-sim, Linux), the same object also has the interface
// SondeSim.Control:
//   Freeze(u seconds)  GETSONDEDATA and GETSONDELIST calls go unanswered for that long (0 ends
//                      a freeze)
//   Vanish(u seconds)  the connection is closed and a new one takes the name after that long,
//                      as when the decoder is restarted (its unique name changes)
// and SIGUSR1 freezes and thaws, SIGUSR2 vanishes for 3 s.

#include <functional>
#include <memory>
#include <string>

#include "decoder-service/answer.h"

namespace decoder {

struct ServiceOptions {
  std::string program = "sonde-sim";           // names the program in messages on stderr
  std::string name = nimbrix::kDecoderProgId;  // bus name and interface (Linux)
  bool printReady = false;                     // "ready" on stdout each time the name is owned
  bool faultControls = false;
  double stopAfterSeconds = 0;      // ends the service with 0 after this long; 0: never
  std::function<void()> onReload;   // SIGHUP (Linux); without it SIGHUP keeps its default
  std::function<void()> onSummary;  // SIGUSR1 (Linux) when there are no fault controls
  ListSource listSource;            // GETSONDELIST (Linux); none: the member is not there
};

class Service {
 public:
  // On Linux this blocks the signals the service serves in the calling thread, so that threads
  // started afterwards inherit the mask and the signals reach the service's loop.
  Service(ServiceOptions options, AnswerSource source);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Serves until a signal or a stop request ends it; the exit code for main(). 1 when the name
  // cannot be owned (another decoder has it, or there is no session bus).
  int Run();

  // Ends Run() with `exitCode`; safe from any thread, also before Run() has started. The first
  // request decides the exit code.
  void RequestStop(int exitCode);

  // The operating system's half (service_platform.h).
  class Platform;

 private:
  std::unique_ptr<Platform> platform_;
};

#ifdef _WIN32
// Writes the ProgID "SondeMonitor.Document" and its class under HKLM\Software\Classes (Wine's
// CLSIDFromProgID does not look at HKCU). False when the registry refuses.
bool RegisterProgId();
#endif

}  // namespace decoder
