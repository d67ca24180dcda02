#pragma once

// The decoder's Automation object on Linux: a program that owns the ProgID as a name on the
// D-Bus session bus and answers method calls on the object path made from the ProgID.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation.h"

namespace nimbrix {

// Longest a single bus operation may take: a decoder that does not answer within this is
// treated as gone for the rest of the cycle.
inline constexpr std::chrono::milliseconds kDbusCallTimeout{250};

// "SondeMonitor.Document" -> "/SondeMonitor/Document"; empty when the ProgID cannot name a
// D-Bus service, interface and object path at the same time.
std::string DbusObjectPath(std::string_view progId);

// MakeSystemAutomation() is this with kDbusCallTimeout; tests may shorten or lengthen it.
std::unique_ptr<Automation> MakeDbusAutomation(std::chrono::milliseconds timeout);

}  // namespace nimbrix
