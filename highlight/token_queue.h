// The token record and the module-wide queue in which the lexer leaves one
// block's tokens for the formatter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lumarix {

// The numeric values are fixed: the formatter selects its branch by them.
enum class TokenKind : std::uint32_t {
    Operator = 0,
    KeyWord = 1,
    String = 2,
    Comment = 3,
    Number = 4,
    Plain = 5,
};
inline constexpr std::size_t kTokenKindCount = 6;

// A token's text is a view of the block text that the queue holds, so a token
// costs no allocation of its own; it stays valid while the token is queued.
struct Token {
    std::string_view text;
    TokenKind kind;
};

// Keeps the token blocks a deque frees so that it can take them back without
// a trip through the allocator: the queue is filled and drained a window at a
// time, which would otherwise free and allocate a block every few dozen tokens.
class NodePool {
  public:
    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    ~NodePool() { Release(); }

    void* Take(std::size_t bytes);
    void Give(void* node, std::size_t bytes) noexcept;
    // Frees the kept blocks (not those in use).
    void Release() noexcept;

  private:
    std::vector<void*> free_;    // has room for every block handed out
    std::size_t nodeBytes_ = 0;  // the deque's block size, once known
    std::size_t handedOut_ = 0;
};

// The token queue's allocator: the deque's blocks of tokens come from its
// pool, everything else (the deque's map of blocks) from operator new.
template <class T>
class TokenNodeAllocator {
  public:
    using value_type = T;

    explicit TokenNodeAllocator(NodePool& pool) noexcept : pool_(&pool) {}
    template <class U>
    TokenNodeAllocator(const TokenNodeAllocator<U>& other) noexcept : pool_(other.pool_) {}

    T* allocate(std::size_t n) {
        if constexpr (kPooled) return static_cast<T*>(pool_->Take(n * sizeof(T)));
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if constexpr (kPooled) return pool_->Give(p, n * sizeof(T));
        ::operator delete(p);
    }

    template <class U>
    bool operator==(const TokenNodeAllocator<U>& other) const noexcept {
        return pool_ == other.pool_;
    }

  private:
    template <class U>
    friend class TokenNodeAllocator;
    static constexpr bool kPooled = std::is_same_v<T, Token>;
    NodePool* pool_;
};

// Holds the tokens of exactly one block, in source order, together with the
// block text they point into. Only the operations the lexer and the formatter
// need exist: no access by position, no insertion at the front.
class TokenQueue {
  public:
    // Drops every token left over and copies the next block's text into the
    // queue's own buffer, reusing its storage from block to block.
    void StartBlock(std::string_view blockText);
    // The same without the copy: the tokens view the caller's text, which
    // must outlive them. The formatter lexes the body it is given this way.
    void StartBorrowedBlock(std::string_view blockText) noexcept;
    std::string_view BlockText() const noexcept { return blockText_; }

    void Append(Token token) {
        tokens_.push_back(token);
        ++kindCounts_[static_cast<std::size_t>(token.kind)];
    }
    const Token& Front() const noexcept { return tokens_.front(); }
    void PopFront() noexcept {
        --kindCounts_[static_cast<std::size_t>(tokens_.front().kind)];
        tokens_.pop_front();
    }
    // Hands every queued token to `visit` in order, then empties the queue:
    // cheaper than Front and PopFront per token for a whole window.
    template <class Visit>
    void DrainEach(Visit&& visit) {
        for (const Token& token : tokens_) visit(token);
        tokens_.clear();
        kindCounts_ = {};
    }
    bool Empty() const noexcept { return tokens_.empty(); }
    std::size_t Count() const noexcept { return tokens_.size(); }
    // How many queued tokens have this kind; lets the formatter size its output.
    std::size_t CountOf(TokenKind kind) const noexcept {
        return kindCounts_[static_cast<std::size_t>(kind)];
    }

    // Releases everything; used when a rewrite is cut short.
    void Clear() noexcept;

  private:
    std::string ownText_;
    std::string_view blockText_;
    NodePool pool_;  // declared before the deque, which returns its blocks to it
    std::deque<Token, TokenNodeAllocator<Token>> tokens_{TokenNodeAllocator<Token>(pool_)};
    std::array<std::size_t, kTokenKindCount> kindCounts_{};
};

extern TokenQueue tokenQueue;

}  // namespace lumarix
