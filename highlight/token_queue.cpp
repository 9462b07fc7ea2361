#include "highlight/token_queue.h"

namespace lumarix {

TokenQueue tokenQueue;

}  // namespace lumarix
