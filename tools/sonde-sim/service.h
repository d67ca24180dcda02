#pragma once

// The decoder's side of the bus: owns the name, serves GETSONDEDATA from an answer source, and
// offers the fault controls of the interface SondeSim.Control on the same object:
//   Freeze(u seconds)  GETSONDEDATA calls go unanswered for that long (0 ends a freeze)
//   Vanish(u seconds)  the connection is closed and a new one takes the name after that long,
//                      as when the decoder is restarted (its unique name changes)
// and the signals SIGUSR1 (freeze on / off), SIGUSR2 (vanish for 3 s), SIGHUP (reload),
// SIGTERM and SIGINT (clean exit).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "answers.h"

namespace sondesim {

struct ServiceOptions {
  std::string name = "SondeMonitor.Document";  // bus name and interface; the path follows
  bool printReady = false;                     // "ready" on stdout each time the name is owned
};

// The answer for an item index; nullopt for an index the decoder does not have.
using AnswerSource = std::function<std::optional<Answer>(std::int16_t index)>;

// Runs until SIGTERM or SIGINT; the exit code for main().
int RunService(const ServiceOptions& options, AnswerSource source, std::function<void()> onReload);

}  // namespace sondesim
