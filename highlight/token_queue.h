// The token record and the module-wide queue in which the lexer leaves a
// block's tokens for the formatter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumarix {

// Numbered 0 to 5 in this order, which is fixed: kinds 0 to 4 take the
// highlight category of the same number.
enum class TokenKind : std::uint32_t { Operator, KeyWord, String, Comment, Number, Plain };
inline constexpr std::size_t kTokenKindCount = 6;

// A token's text is a view of the block text the lexer was given, so a token
// costs no allocation of its own.
struct Token {
    std::string_view text;
    TokenKind kind;
};

// Holds tokens of one block in source order. The formatter fills and drains
// it a window at a time, so its storage, kept from window to window, stays
// the size of one window.
class TokenQueue {
  public:
    void Append(Token token) { tokens_.push_back(token); }
    template <class Visit>
    void ForEach(Visit&& visit) const {
        for (const Token& token : tokens_) visit(token);
    }
    // Hands every queued token to `visit` in order, then empties the queue.
    template <class Visit>
    void DrainEach(Visit&& visit) {
        ForEach(visit);
        Clear();
    }
    bool Empty() const noexcept { return tokens_.empty(); }
    // Drops the tokens, keeping the storage, as std::vector::clear does.
    void Clear() noexcept { tokens_.clear(); }
    // Drops the tokens and gives the storage back; used when a rewrite is cut short.
    void Release() noexcept { tokens_ = {}; }

  private:
    std::vector<Token> tokens_;
};

inline TokenQueue tokenQueue;

}  // namespace lumarix
