#include "highlight/token_queue.h"

namespace lumarix {

TokenQueue tokenQueue;

void TokenQueue::StartBlock(std::string_view blockText) {
    tokens_.clear();
    kindCounts_ = {};
    blockText_.assign(blockText);
}

void TokenQueue::Clear() noexcept {
    tokens_.clear();
    kindCounts_ = {};
    blockText_.clear();
}

}  // namespace lumarix
