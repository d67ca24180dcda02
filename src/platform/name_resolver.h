#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace nimbrix {

// A name look-up under way beside the caller.
struct LookupResult {
  enum class State { kPending, kFound, kFailed };
  State state = State::kPending;
  std::uint32_t address = 0;  // IPv4, network byte order, once found
};

class PendingLookup {
 public:
  virtual ~PendingLookup() = default;
  // Never waits. Dropping a look-up still under way leaves it to finish alone.
  virtual LookupResult Poll() = 0;
};

// Starts name look-ups that never hold the caller up; how long one may take is the caller's
// to decide.
class NameResolver {
 public:
  virtual ~NameResolver() = default;
  virtual std::unique_ptr<PendingLookup> Start(const std::string& host) = 0;
};

// A look-up per thread, detached: getaddrinfo cannot be cut short, so a look-up that hangs
// costs its own thread and nothing else. `lookUp` is the system's blocking look-up.
using BlockingLookUp = std::function<std::optional<std::uint32_t>(const std::string&)>;
std::unique_ptr<NameResolver> MakeThreadNameResolver(BlockingLookUp lookUp);

}  // namespace nimbrix
