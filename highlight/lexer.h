// Cuts the Delphi source of one block into tokens in the module-wide queue.
#pragma once

#include <cstddef>
#include <string_view>

#include "highlight/token_queue.h"

namespace lumarix {

// Empties tokenQueue, then fills it with the tokens of blockText in source
// order. The tokens view blockText, which must outlive them; their texts
// joined give it back byte for byte. No input is an error.
void LexBlock(std::string_view blockText);

// The same pass, a window of tokens at a time, so that a large block's tokens
// can be written while they are still in the cache: the formatter drains the
// queue between calls. Lexing a block in windows appends exactly the tokens
// LexBlock appends, in the same order.
class BlockLexer {
  public:
    // Empties tokenQueue; the tokens view `blockText`, which must outlive them.
    explicit BlockLexer(std::string_view blockText) noexcept;

    // Appends the next tokens until at least `count` more are queued (a step
    // of the scan may append up to three) or the block ends. Returns whether
    // tokens are left for another call.
    bool LexMore(std::size_t count);

    // The block offset of the first byte that is in no token yet: the queued
    // tokens of this window tile the block up to here.
    std::size_t LexedEnd() const noexcept { return w_; }

  private:
    bool Scan(std::size_t count);
    bool IsOperatorByte(std::size_t p) const noexcept;
    bool IsOpenerAt(std::size_t p) const noexcept;
    bool NextIs(char c) const noexcept;
    void Emit(TokenKind kind, std::size_t end);
    void EmitPendingWord(std::size_t end);
    static std::string_view CoreOf(std::string_view word) noexcept;
    std::size_t PastNext(std::string_view closer, std::size_t from) const noexcept;
    std::size_t PastNextByte(char closer, std::size_t from) const noexcept;
    std::size_t EndOfNumber(std::size_t from, bool stopAtDot) const noexcept;
    bool ReadDelimitedToken();

    std::string_view text_;
    std::size_t n_ = 0;
    std::size_t i_ = 0;  // the byte being examined
    std::size_t w_ = 0;  // the first byte not yet in a token
    std::size_t emitted_ = 0;
    bool done_ = false;
};

}  // namespace lumarix
