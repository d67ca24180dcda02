#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One entry of a list member's answer: how old the entry is, and its items in item order.
struct ListedEntry {
  std::uint32_t ageMs = 0;
  std::vector<CallResult> items;
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
  // Calls `member` once for each argument and gives the results in the arguments' order. Once
  // a call goes unanswered (kUnresponsive) the later ones read as unresponsive too, unasked
  // here; a backend that can have all calls in flight at once overrides this, with one
  // time-out for the whole round.
  virtual std::vector<CallResult> CallRound(std::string_view member,
                                            const std::vector<std::int16_t>& arguments) {
    std::vector<CallResult> results;
    results.reserve(arguments.size());
    bool answering = true;
    for (const std::int16_t argument : arguments) {
      if (!answering) {
        results.push_back({Variant::Empty(), CallOutcome::kUnresponsive});
        continue;
      }
      results.push_back(Call(member, argument));
      answering = results.back().outcome != CallOutcome::kUnresponsive;
    }
    return results;
  }
  // Calls a member without arguments that answers a list of entries, each with its age and
  // its items. nullopt when the object has no such member, or did not answer (a backend
  // without lists: COM).
  virtual std::optional<std::vector<ListedEntry>> CallList(std::string_view member) {
    (void)member;
    return std::nullopt;
  }
  virtual void Release() = 0;
};

}  // namespace nimbrix
