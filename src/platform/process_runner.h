#pragma once

#include <string>

namespace nimbrix {

// Runs a command line as a child process and waits for it to end (its outcome is not needed).
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  virtual void Run(const std::string& commandLine) = 0;
};

}  // namespace nimbrix
