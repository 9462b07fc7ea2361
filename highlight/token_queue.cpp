#include "highlight/token_queue.h"

#include <algorithm>

namespace lumarix {

TokenQueue tokenQueue;

void* NodePool::Take(std::size_t bytes) {
    if (bytes == nodeBytes_ && !free_.empty()) {
        void* node = free_.back();
        free_.pop_back();
        return node;
    }
    // Room to keep this block later, so that giving it back cannot fail.
    if (free_.capacity() <= handedOut_) free_.reserve(std::max<std::size_t>(16, 2 * handedOut_));
    void* node = ::operator new(bytes);
    nodeBytes_ = bytes;
    ++handedOut_;
    return node;
}

void NodePool::Give(void* node, std::size_t bytes) noexcept {
    if (bytes != nodeBytes_) {  // not a block this pool handed out last
        ::operator delete(node);
        --handedOut_;
        return;
    }
    free_.push_back(node);
}

void NodePool::Release() noexcept {
    for (void* node : free_) ::operator delete(node);
    handedOut_ -= free_.size();
    free_.clear();
}

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
    pool_.Release();
    kindCounts_ = {};
    ownText_.clear();
    blockText_ = {};
}

}  // namespace lumarix
