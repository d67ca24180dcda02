#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/variant.h"

namespace nimbrix {

// How one call to the decoder went.
enum class CallOutcome {
  kOk,            // answered
  kFailed,        // answered with an error (unknown member, bad index, ...): try the next item
  kUnresponsive,  // timed out, or the decoder is gone: give up for this cycle, attach again later
};

struct CallResult {
  Variant value;  // VT_EMPTY unless kOk
  CallOutcome outcome = CallOutcome::kFailed;
};

// A running Automation object of another program (COM on Windows, a D-Bus name on Linux).
class Automation {
 public:
  virtual ~Automation() = default;
  // Attaches to the object of an already running program; never starts one.
  virtual bool Attach(std::string_view progId) = 0;
  virtual bool IsAttached() const = 0;
  // Looks `member` up by name and calls it as a property get with one 16-bit argument.
  virtual CallResult Call(std::string_view member, std::int16_t argument) = 0;
  virtual void Release() = 0;
};

}  // namespace nimbrix
