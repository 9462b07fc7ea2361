// The token record and the module-wide queue in which the lexer leaves one
// block's tokens for the formatter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

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
    std::deque<Token> tokens_;
    std::array<std::size_t, kTokenKindCount> kindCounts_{};
};

extern TokenQueue tokenQueue;

}  // namespace lumarix
