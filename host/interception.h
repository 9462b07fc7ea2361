// Chat messages handed over by call 20100.
#pragma once

#include <cstdint>

#include "host/records.h"

namespace lumarix {

inline constexpr std::uint32_t kFlagRewriteIntoCopy = 0x2;
inline constexpr std::uint32_t kFlagBodyReplaced = 0x200;
inline constexpr std::uint32_t kFlagForwarded = 0x3000;

// Answers 2 when the body was replaced in place, otherwise 1. The message is
// changed only once its new body is complete.
std::intptr_t InterceptMessage(ChatMessage* message);

}  // namespace lumarix
