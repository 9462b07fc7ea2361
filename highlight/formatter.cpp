#include "highlight/formatter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "highlight/lexer.h"
#include "highlight/style_tags.h"
#include "highlight/token_queue.h"

namespace lumarix {

ResultRing resultRing;

TextBuffer ResultRing::TakeBuffer() noexcept {
    // Never the oldest slot's storage: its text may be the body being rewritten.
    TextBuffer buffer = std::exchange(spare_, TextBuffer());
    buffer.Clear();
    return buffer;
}

void ResultRing::ReturnBuffer(TextBuffer buffer) noexcept {
    KeepAsSpare(std::move(buffer), kSpareLimit);
}

const char* ResultRing::Store(TextBuffer text) noexcept {
    if (text.Capacity() - text.Size() > kKeptRoom) text.ShrinkToFit();
    TextBuffer& slot = slots_[next_];
    std::swap(slot, text);
    next_ = (next_ + 1) % kSlots;
    // The replaced result's life is over. A run of large messages reuses its
    // storage; the first smaller message gives it back.
    const bool likeStored = text.Capacity() / 2 <= slot.Size();
    KeepAsSpare(std::move(text), likeStored ? SIZE_MAX : kSpareLimit);
    return slot.CStr();
}

void ResultRing::KeepAsSpare(TextBuffer buffer, std::size_t limit) noexcept {
    if (buffer.Capacity() <= limit && buffer.Capacity() > spare_.Capacity())
        spare_ = std::move(buffer);
}

namespace {

constexpr std::string_view kBlockOpen =
    "<font style=\"font-weight: normal;\" face=\"Courier New\">";
constexpr std::string_view kFontClose = "</font>";

// The first marker in `text` at or after `from`; npos when there is none.
std::size_t FindMarker(std::string_view text, std::size_t from) noexcept {
    std::size_t at = text.find('[', from);
    while (at != std::string_view::npos && !StartsWithMarker(text.substr(at)))
        at = text.find('[', at + 1);
    return at;
}

// Where a span's bytes stop being written as they are (EntityAt), in order:
// one memchr cursor for each of "&", "<" and ">", and, in a block that holds a
// marker, one for the "[" that opens a marker, so nothing kept grows with the
// span. Such bytes are rare in source, so the cursors find them at vector speed.
class SpecialFinder {
  public:
    SpecialFinder(std::string_view span, bool markers) : span_(span) {
        for (std::size_t k = 0; k < kSpecials.size(); ++k)
            next_[k] = kSpecials[k] != '[' || markers ? Find(k, 0) : span.size();
        first_ = *std::min_element(next_.begin(), next_.end());
    }
    // The offset of the first special byte not yet passed; the span's size when none is left.
    std::size_t Next() const noexcept { return first_; }
    void PassTo(std::size_t end) noexcept {
        for (std::size_t k = 0; k < kSpecials.size(); ++k)
            if (next_[k] < end) next_[k] = Find(k, end);
        first_ = *std::min_element(next_.begin(), next_.end());
    }

  private:
    static constexpr std::string_view kSpecials = "&<>[";

    // A "[" counts where a marker begins in the span. Should the marker run
    // past its token, that token is only copied the slow way.
    std::size_t Find(std::size_t k, std::size_t from) const noexcept {
        const std::size_t at =
            kSpecials[k] == '[' ? FindMarker(span_, from) : span_.find(kSpecials[k], from);
        return at == std::string_view::npos ? span_.size() : at;
    }

    std::string_view span_;
    std::array<std::size_t, kSpecials.size()> next_{};
    std::size_t first_ = 0;
};

// The span's size once "&", "<" and ">" are entities, wherever the tokens
// begin: one memchr pass per byte value.
std::uint64_t EscapedSize(std::string_view span) noexcept {
    std::uint64_t size = span.size();
    for (const char special : {'&', '<', '>'})
        for (std::size_t at = span.find(special); at != std::string_view::npos;
             at = span.find(special, at + 1))
            size += EntityAt(span, at, false).size() - 1;
    return size;
}

// What the "[" of the markers inside the queued tokens adds to their text.
std::uint64_t MarkerGrowth() noexcept {
    std::uint64_t growth = 0;
    tokenQueue.ForEach([&](const Token& token) {
        for (std::size_t at = FindMarker(token.text, 0); at != std::string_view::npos;
             at = FindMarker(token.text, at + 1))
            growth += EntityAt(token.text, at, false).size() - 1;
    });
    return growth;
}

// Code is shown as code: a token's text as EntityAt says. `firstSpecial` is
// the offset in `text` before which every byte is written as it is.
char* CopyEscaped(char* to, std::string_view text, std::size_t firstSpecial) noexcept {
    std::memcpy(to, text.data(), firstSpecial);
    to += firstSpecial;
    for (std::size_t k = firstSpecial; k < text.size(); ++k) {
        const std::string_view entity = EntityAt(text, k, false);
        if (entity.empty()) {
            *to++ = text[k];
        } else {
            std::memcpy(to, entity.data(), entity.size());
            to += entity.size();
        }
    }
    return to;
}

// A token's text, which is mostly short: when the body stays readable 16
// bytes on, one fixed 16-byte move copies it; the output has the slack.
char* CopyShortText(char* to, std::string_view text, const char* readableEnd) noexcept {
    if (text.size() <= 16 && readableEnd - text.data() >= 16) {
        std::memcpy(to, text.data(), 16);
    } else {
        std::memcpy(to, text.data(), text.size());
    }
    return to + text.size();
}

// The exact size of the queued tokens' HTML; `span` is the block text they
// tile, `markers` whether their block holds a marker. Counted in 64 bits,
// which no window can exceed.
std::uint64_t WindowHtmlSize(const StyleTagSet& tags, std::string_view span, bool markers) {
    std::uint64_t size = EscapedSize(span);
    tokenQueue.ForEach([&](const Token& token) {
        const TokenTags& t = tags.kinds[static_cast<std::size_t>(token.kind)];
        size += t.open.Size() + t.close.Size();
    });
    return markers ? size + MarkerGrowth() : size;
}

// Drains the token queue into `to`; `span` is the block text the tokens tile.
// Returns the end of what was written.
char* WriteTokens(char* to, const StyleTagSet& tags, std::string_view span, bool markers,
                  const char* readableEnd) {
    SpecialFinder specials(span, markers);
    std::size_t offset = 0;  // of the current token in the span
    tokenQueue.DrainEach([&](const Token& token) {
        const TokenTags& t = tags.kinds[static_cast<std::size_t>(token.kind)];
        const std::size_t end = offset + token.text.size();
        to = t.open.WriteTo(to);
        if (const std::size_t special = specials.Next(); special < end) [[unlikely]] {
            to = CopyEscaped(to, token.text, special - offset);
            specials.PassTo(end);
        } else {
            to = CopyShortText(to, token.text, readableEnd);
        }
        to = t.close.WriteTo(to);
        offset = end;
    });
    return to;
}

constexpr std::size_t kOutputSlack = TagPiece::kRoom;

// Tokens lexed and written per window: few enough that they are still in the
// cache when they are written, and that the queue stays small.
constexpr std::size_t kTokensPerWindow = 2048;

// The room a block's output grows to when a window does not fit. The Windows
// heap commits all the room it hands out and grows a large block by copying
// it, holding the old and the new block at once; so the room is bounded by
// the least the result can still be (each byte not yet written gives one at
// least): at most twice that, and two and a half times with the block held.
// Within those bounds, the first sixteenth of the block is projected at its
// own rate; past it, the whole block at the rate of all written so far, its
// least taking the rest at the lowest rate a window has shown, so that a
// uniform block gets its room at once (and a block that turns sparse only
// past its first sixteenth asks for more). What is projected gets an eighth more.
struct BlockRoom {
    double blockBytes, tailBytes, lexed = 0, html = 0;
    double lowestRate = std::numeric_limits<double>::infinity();  // read once a window is counted

    void CountWindow(std::size_t bytes, std::uint64_t windowHtml) noexcept {
        if (bytes == 0) return;
        const double rate = static_cast<double>(windowHtml) / static_cast<double>(bytes);
        lowestRate = std::min(lowestRate, rate);
        lexed += static_cast<double>(bytes);
        html += static_cast<double>(windowHtml);
    }

    // The capacity to take with `written` bytes in the output, `held` being held now.
    std::size_t ChooseRoom(std::size_t written, std::size_t held) const noexcept {
        const double part = std::max(blockBytes / 16, 1.0), left = blockBytes - lexed;
        const double rate = lexed > 0 ? html / lexed : 1.0, done = static_cast<double>(written);
        const bool inPart = lexed < part;
        const double ahead = inPart ? rate * (part - lexed) : rate * left + tailBytes;
        const double least = done + (inPart ? 1.0 : lowestRate) * left + tailBytes;
        const double room =
            std::min({done + 1.125 * ahead, 2 * least, 2.5 * least - static_cast<double>(held)});
        return room < static_cast<double>(SIZE_MAX) ? static_cast<std::size_t>(room) : SIZE_MAX;
    }
};

// Lexes a block and writes its HTML a window of tokens at a time, each window
// into room of its exact size.
void WriteBlock(TextBuffer& out, const StyleTagSet& tags, std::string_view inner,
                const char* readableEnd) {
    // The body outlives the call, and the queue is drained before it returns.
    BlockLexer lexer(inner);
    out.Append(kBlockOpen);
    const auto restBytes = static_cast<std::size_t>(readableEnd - (inner.data() + inner.size()));
    BlockRoom room{static_cast<double>(inner.size()),
                   static_cast<double>(restBytes + kFontClose.size())};
    // Markers are rarer still than "&", "<" and ">": they are looked for in
    // the tokens only of a block that holds one.
    const bool markers = FindMarker(inner, 0) != std::string_view::npos;
    std::size_t spanStart = 0;
    for (bool more = true; more;) {
        more = lexer.LexMore(kTokensPerWindow);
        const std::string_view span = inner.substr(spanStart, lexer.LexedEnd() - spanStart);
        const std::uint64_t size = WindowHtmlSize(tags, span, markers);
        // Counted in 64 bits, a window may pass what a 32-bit size_t holds;
        // Extend refuses a total that would wrap, as it refuses memory.
        if (size > SIZE_MAX) throw std::bad_alloc();
        room.CountWindow(span.size(), size);
        const std::size_t written = CheckedAdd(out.Size(), static_cast<std::size_t>(size));
        const std::size_t needed = CheckedAdd(written, kOutputSlack);
        if (needed > out.Capacity())
            out.Reserve(std::max(needed, room.ChooseRoom(written, out.Capacity())));
        char* const start = out.Extend(static_cast<std::size_t>(size), kOutputSlack);
        if (WriteTokens(start, tags, span, markers, readableEnd) != start + size)
            throw std::logic_error("window HTML size miscounted");
        spanStart = lexer.LexedEnd();
    }
    out.Append(kFontClose);
}

}  // namespace

const char* FormatBody(const char* body) {
    const std::string_view text(body);
    std::size_t open = text.find(kOpenMarker);
    if (open == std::string_view::npos) return body;
    std::size_t close = text.find(kCloseMarker, open + kOpenMarker.size());
    // A closing marker cannot overlap the first opening one, so with none
    // after it the only place left to look is before it.
    if (close == std::string_view::npos &&
        text.substr(0, open).find(kCloseMarker) == std::string_view::npos)
        return body;

    TextBuffer out = resultRing.TakeBuffer();
    try {
        // Each block is searched for after the previous one in the original
        // body, so the HTML written is never read again and every pass ends.
        std::size_t pos = 0;
        while (close != std::string_view::npos) {
            out.Append(text.substr(pos, open - pos));
            const std::size_t innerStart = open + kOpenMarker.size();
            WriteBlock(out, styleTags, text.substr(innerStart, close - innerStart),
                       text.data() + text.size());
            pos = close + kCloseMarker.size();
            open = text.find(kOpenMarker, pos);
            if (open == std::string_view::npos) break;
            close = text.find(kCloseMarker, open + kOpenMarker.size());
        }
        out.Append(text.substr(pos));
    } catch (...) {
        tokenQueue.Release();
        resultRing.ReturnBuffer(std::move(out));
        throw;
    }
    return resultRing.Store(std::move(out));
}

}  // namespace lumarix
