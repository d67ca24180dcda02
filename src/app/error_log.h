#pragma once

#include <string>

#include "platform/files.h"
#include "uplink/error_records.h"

namespace nimbrix {

// nimbrix.err, the one file of records an operator reads: the primary link's and every other
// destination's failures, appended as they happen.
class ErrorLog {
 public:
  explicit ErrorLog(Files& files) : files_(files) {}
  // Appends `record` (its line end included) and hands it back for the view.
  const std::string& Write(const std::string& record) {
    files_.Append(kErrorLogPath, record);
    return record;
  }

 private:
  Files& files_;
};

}  // namespace nimbrix
