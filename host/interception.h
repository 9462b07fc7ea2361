// Chat messages handed over by call 20100.
#pragma once

#include <cstdint>

#include "host/protocol.h"
#include "host/records.h"

namespace lumarix {

// Answers 2 when the body was replaced in place, otherwise 1. The message is
// changed only once its new body is complete.
std::intptr_t InterceptMessage(ChatMessage* message);

}  // namespace lumarix
