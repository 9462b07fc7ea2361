// The held HostControl and the two operations the plug-in calls through it.
#pragma once

#include <cstdint>

#include "host/records.h"

namespace lumarix {

// Set by call 20001, emptied by call 20002.
extern HostControl* heldControl;

inline bool IsHostHeld() noexcept {
    return heldControl != nullptr;
}

// A 74-byte query of the plug-in's page item n (kItemNumberTag + n) with the
// given request word; the caller fills in what else the query carries.
PageItem MakeItemQuery(std::uint32_t n, std::uint32_t request) noexcept;

// Hands a record to the host and returns its answer. The caller checks that a
// control is held.
std::intptr_t SendRecord(void* record);

// Sends a plain HostCall.
std::intptr_t SendHostCall(std::uint32_t id, HostWord param1, HostWord param2);

void ReportUnhandled(std::int32_t code);

}  // namespace lumarix
