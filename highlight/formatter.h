// Rewrites a message body: every "[delphi]" ... "[/delphi]" block becomes
// highlighted HTML; text outside the blocks stays as it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "highlight/text_buffer.h"

namespace lumarix {

inline constexpr std::string_view kOpenMarker = "[delphi]";
inline constexpr std::string_view kCloseMarker = "[/delphi]";

// The last twenty rewritten bodies. A text handed out stays valid and
// unchanged while the next nineteen are stored.
class ResultRing {
  public:
    static constexpr std::size_t kSlots = 20;

    // A buffer to build the next result in, with the storage of an earlier
    // result when one is free, so that large bodies do not fault in fresh pages.
    TextBuffer TakeBuffer() noexcept;
    // Returns a buffer that was not stored, keeping its storage for reuse.
    void ReturnBuffer(TextBuffer buffer) noexcept;
    // Moves `text` into the next slot and returns that slot's text.
    const char* Store(TextBuffer text) noexcept;

    std::uint32_t ResultCount() const noexcept { return resultCount_; }
    void Clear() noexcept;

  private:
    std::array<TextBuffer, kSlots> slots_;
    TextBuffer spare_;
    std::uint32_t resultCount_ = 0;
    std::size_t next_ = 0;  // cycles 0..19 on its own, so a wrapping count cannot skip a slot
};

extern ResultRing resultRing;

// Returns `body` itself when it lacks either marker; otherwise the rewritten
// text, held by resultRing. On failure (memory) it throws and leaves the ring
// and the style tags as they were.
const char* FormatBody(const char* body);

}  // namespace lumarix
