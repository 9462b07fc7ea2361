#include "highlight/token_queue.h"

namespace lumarix {

TokenQueue tokenQueue;

void TokenQueue::StartBlock(std::string_view blockText) {
    tokens_.clear();
    kindCounts_ = {};
    ownText_.assign(blockText);
    blockText_ = ownText_;
}

void TokenQueue::StartBorrowedBlock(std::string_view blockText) noexcept {
    tokens_.clear();
    kindCounts_ = {};
    blockText_ = blockText;
}

void TokenQueue::Clear() noexcept {
    tokens_.clear();
    kindCounts_ = {};
    ownText_.clear();
    blockText_ = {};
}

}  // namespace lumarix
