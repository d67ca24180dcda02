#include "platform/system.h"

namespace nimbrix {

namespace {

// There is no OLE library to register on this system: the step has nothing to do.
class PosixProcessRunner : public ProcessRunner {
 public:
  void Run(const std::string&) override {}
};

}  // namespace

std::unique_ptr<ProcessRunner> MakeSystemProcessRunner() {
  return std::make_unique<PosixProcessRunner>();
}

}  // namespace nimbrix
