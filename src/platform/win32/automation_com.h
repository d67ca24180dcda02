#pragma once

// The decoder's running Automation object, reached through COM.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <memory>

#include "platform/automation.h"
#include "platform/variant.h"

namespace nimbrix {

// Longest a call into the decoder may take before it is cancelled and the decoder counted as
// gone for this cycle (calls between processes take about a millisecond).
inline constexpr unsigned long kComCallTimeoutMs = 500;

// MakeSystemAutomation() is this with kComCallTimeoutMs; tests may shorten it.
std::unique_ptr<Automation> MakeComAutomation(unsigned long callTimeoutMs);

// Our copy of a result VARIANT: BSTR as ANSI code page bytes, R4 as the float's exact value,
// CY as its raw integer. Types the decoder has no business sending read as VT_EMPTY.
Variant VariantFromCom(const VARIANT& value);

// Whether a failed call means the decoder's process is gone or not answering (so the rest of
// the cycle is skipped and the next cycle attaches again), rather than a refused request.
bool IsDisconnection(HRESULT result);

}  // namespace nimbrix
