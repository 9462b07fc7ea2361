// Rewrites a message body: every "[delphi]" ... "[/delphi]" block becomes
// highlighted HTML; text outside the blocks stays as it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "highlight/html_text.h"
#include "highlight/text_buffer.h"

namespace lumarix {

// The last twenty rewritten bodies. A text handed out stays valid and
// unchanged while the next nineteen are stored: the host may hand it back as a
// body, so no result is built in storage that still holds a valid one. A
// messenger runs for weeks in a 32-bit address space, so the ring keeps no
// more than the twenty texts need, plus one spare.
class ResultRing {
  public:
    static constexpr std::size_t kSlots = 20;
    // The largest storage kept for the next result: small results are built
    // without allocating, and one huge paste is not kept for life.
    static constexpr std::size_t kSpareLimit = std::size_t{1} << 20;
    // Room past a stored text beyond this is given back.
    static constexpr std::size_t kKeptRoom = 4096;

    // The spare, to build the next result in: it holds no valid result.
    TextBuffer TakeBuffer() noexcept;
    // Returns a buffer that was not stored; keeps its storage as the spare
    // when it is larger than the spare and no larger than kSpareLimit.
    void ReturnBuffer(TextBuffer buffer) noexcept;
    // Moves `text` into the oldest slot, trimmed to its size, and returns that
    // slot's text. The storage it replaces becomes the spare when it is no
    // larger than kSpareLimit or than twice the text stored.
    const char* Store(TextBuffer text) noexcept;

  private:
    void KeepAsSpare(TextBuffer buffer, std::size_t limit) noexcept;

    std::array<TextBuffer, kSlots> slots_;
    TextBuffer spare_;
    std::size_t next_ = 0;  // the slot of the oldest result, which the next one replaces
};

extern ResultRing resultRing;

// Returns `body` itself when it lacks either marker; otherwise the rewritten
// text, held by resultRing. On failure (memory) it throws and leaves the ring
// and the style tags as they were.
const char* FormatBody(const char* body);

}  // namespace lumarix
