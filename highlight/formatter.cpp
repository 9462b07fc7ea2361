#include "highlight/formatter.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>
#include <vector>

#include "highlight/lexer.h"
#include "highlight/style_tags.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix {

ResultRing resultRing;

TextBuffer ResultRing::TakeBuffer() noexcept {
    // The next slot's text has outlived the nineteen results after it, so the
    // new one may be built in its storage: a large result then reuses pages
    // already touched instead of faulting in fresh ones.
    TextBuffer& oldest = slots_[next_];
    TextBuffer buffer = std::move(oldest.Capacity() >= spare_.Capacity() ? oldest : spare_);
    buffer.Clear();
    return buffer;
}

void ResultRing::ReturnBuffer(TextBuffer buffer) noexcept {
    if (buffer.Capacity() <= kSpareLimit && buffer.Capacity() > spare_.Capacity())
        spare_ = std::move(buffer);
}

const char* ResultRing::Store(TextBuffer text) noexcept {
    if (text.Capacity() - text.Size() > kKeptRoom) text.ShrinkToFit();
    TextBuffer& slot = slots_[next_];
    std::swap(slot, text);
    ReturnBuffer(std::move(text));  // the overwritten result's storage may serve the next one
    next_ = (next_ + 1) % kSlots;
    ++resultCount_;
    return slot.CStr();
}

void ResultRing::Clear() noexcept {
    for (TextBuffer& slot : slots_) slot = TextBuffer();
    spare_ = TextBuffer();
}

namespace {

constexpr std::string_view kBlockOpen =
    "<font style=\"font-weight: normal;\" face=\"Courier New\">";
constexpr std::string_view kBlockClose = "</font>";
constexpr std::string_view kFontClose = "</font>";

// A tag sequence kept in a fixed room, so that writing it is one fixed-size
// move whatever its length (the output keeps kPieceRoom bytes of slack).
// Sequences longer than the room (a long colour text) are copied as they are.
constexpr std::size_t kPieceRoom = 32;

class TagPiece {
  public:
    explicit TagPiece(std::string text) : text_(std::move(text)) {
        std::memcpy(room_.data(), text_.data(), std::min(text_.size(), kPieceRoom));
    }
    std::size_t Size() const noexcept { return text_.size(); }
    char* WriteTo(char* to) const noexcept {
        if (text_.size() > kPieceRoom) [[unlikely]] {
            std::memcpy(to, text_.data(), text_.size());
        } else {
            std::memcpy(to, room_.data(), kPieceRoom);
        }
        return to + text_.size();
    }

  private:
    std::string text_;
    std::array<char, kPieceRoom> room_{};
};

// Opening and closing sequences per token kind, composed once per body from
// the style tags as they stand. Plain tokens get none.
struct TokenTags {
    std::array<TagPiece, kTokenKindCount> open;
    std::array<TagPiece, kTokenKindCount> close;
};

constexpr std::array<Category, kTokenKindCount - 1> kCategoryOfKind = {
    Category::Operators, Category::Key_words, Category::Strings, Category::Comments,
    Category::Numbers};

std::string OpeningOf(const StyleTagSet& tags, std::size_t kind) {
    if (kind >= kCategoryOfKind.size()) return {};
    const CategoryTags& c = tags[kCategoryOfKind[kind]];
    return c.colorOpen + c.italicOpen + c.boldOpen + c.underlineOpen;
}

std::string ClosingOf(const StyleTagSet& tags, std::size_t kind) {
    if (kind >= kCategoryOfKind.size()) return {};
    const CategoryTags& c = tags[kCategoryOfKind[kind]];
    return c.underlineClose + c.boldClose + c.italicClose + std::string(kFontClose);
}

template <std::size_t... Kind>
TokenTags ComposeTokenTags(const StyleTagSet& tags, std::index_sequence<Kind...>) {
    return TokenTags{{TagPiece(OpeningOf(tags, Kind))...}, {TagPiece(ClosingOf(tags, Kind))...}};
}

TokenTags ComposeTokenTags(const StyleTagSet& tags) {
    return ComposeTokenTags(tags, std::make_index_sequence<kTokenKindCount>());
}

std::string_view EntityFor(char c) noexcept {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        default:
            return "&gt;";
    }
}

constexpr std::array<char, 3> kHtmlSpecials = {'&', '<', '>'};

// Offsets of the special bytes of a span in order, ending with the span's
// size as a sentinel; found once per window for both sizing and writing.
using SpecialOffsets = std::vector<std::size_t>;

void CollectSpecials(std::string_view span, SpecialOffsets& offsets) {
    offsets.clear();
    // They are rare in source: a memchr pass per byte value finds them at
    // vector speed, and sorting the few found puts them in order.
    for (const char special : kHtmlSpecials) {
        for (std::size_t at = span.find(special); at != std::string_view::npos;
             at = span.find(special, at + 1))
            offsets.push_back(at);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.push_back(span.size());
}

// The span's size once "&", "<" and ">" are entities.
std::size_t EscapedSize(std::string_view span, const SpecialOffsets& specials) noexcept {
    std::size_t size = span.size();
    for (std::size_t k = 0; k + 1 < specials.size(); ++k)
        size += EntityFor(span[specials[k]]).size() - 1;
    return size;
}

// Code is shown as code: "&", "<" and ">" become entities, nothing else
// changes. `firstSpecial` is the offset in `text` of its first special byte.
char* CopyEscaped(char* to, std::string_view text, std::size_t firstSpecial) noexcept {
    std::memcpy(to, text.data(), firstSpecial);
    to += firstSpecial;
    for (char c : text.substr(firstSpecial)) {
        if (HasClass(c, kHtmlSpecial)) {
            const std::string_view entity = EntityFor(c);
            std::memcpy(to, entity.data(), entity.size());
            to += entity.size();
        } else {
            *to++ = c;
        }
    }
    return to;
}

// A token's text, which is mostly short. The body stays readable up to
// `readableEnd`, so one fixed 16-byte move usually copies it; the output has
// the slack for the bytes past it.
char* CopyText(char* to, std::string_view text, const char* readableEnd) noexcept {
    if (text.size() <= 16 && readableEnd - text.data() >= 16)
        std::memcpy(to, text.data(), 16);
    else
        std::memcpy(to, text.data(), text.size());
    return to + text.size();
}

// Bytes that writing a window may scribble past its exact end.
constexpr std::size_t kOutputSlack = std::max<std::size_t>(kPieceRoom, 16);

// The exact size of the queued tokens' HTML; `span` is the block text they tile.
std::size_t WindowHtmlSize(const TokenTags& tags, std::string_view span,
                           const SpecialOffsets& specials) noexcept {
    std::size_t size = EscapedSize(span, specials);
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
        size += tokenQueue.CountOf(static_cast<TokenKind>(kind)) *
                (tags.open[kind].Size() + tags.close[kind].Size());
    return size;
}

// Drains the token queue into `to`; `span` is the block text the tokens tile,
// in a body readable up to `readableEnd`. Returns the end of what was written.
char* WriteTokens(char* to, const TokenTags& tags, const SpecialOffsets& specials,
                  const char* readableEnd) {
    const std::size_t* special = specials.data();  // the first not yet passed
    std::size_t offset = 0;                        // of the current token in the span
    tokenQueue.DrainEach([&](const Token& token) {
        const auto kind = static_cast<std::size_t>(token.kind);
        const std::size_t end = offset + token.text.size();
        to = tags.open[kind].WriteTo(to);
        if (*special < end) [[unlikely]] {
            to = CopyEscaped(to, token.text, *special - offset);
            while (*special < end) ++special;
        } else {
            to = CopyText(to, token.text, readableEnd);
        }
        to = tags.close[kind].WriteTo(to);
        offset = end;
    });
    return to;
}

// A guess at a block's HTML size, from the tags' average size and a token
// every six bytes (real Delphi has one every seven or so). Only makes the
// output grow once for most blocks; the writing itself sizes exactly.
std::size_t GuessBlockHtmlSize(const TokenTags& tags, std::size_t blockSize) noexcept {
    std::size_t tagBytes = 0;
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
        tagBytes += tags.open[kind].Size() + tags.close[kind].Size();
    return blockSize + blockSize / 6 * (tagBytes / kTokenKindCount) + kBlockOpen.size() +
           kBlockClose.size();
}

// Tokens lexed and written per window: few enough that they are still in the
// cache when they are written.
constexpr std::size_t kTokensPerWindow = 2048;

// Lexes a block and writes its HTML a window of tokens at a time. The block
// lies in a body that is readable up to `readableEnd`.
void WriteBlock(TextBuffer& out, const TokenTags& tags, std::string_view inner,
                const char* readableEnd, SpecialOffsets& specials) {
    // The body outlives the call, and the queue is drained before it returns.
    BlockLexer lexer(inner, BlockLexer::BorrowText{});
    const std::string_view block = tokenQueue.BlockText();
    out.Append(kBlockOpen);
    std::size_t spanStart = 0;
    for (bool more = true; more;) {
        more = lexer.LexMore(kTokensPerWindow);
        const std::string_view span = block.substr(spanStart, lexer.LexedEnd() - spanStart);
        CollectSpecials(span, specials);
        const std::size_t size = WindowHtmlSize(tags, span, specials);
        char* const start = out.Extend(size, kOutputSlack);
        [[maybe_unused]] const char* const end = WriteTokens(start, tags, specials, readableEnd);
        assert(end == start + size);
        spanStart = lexer.LexedEnd();
    }
    out.Append(kBlockClose);
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

    const TokenTags tags = ComposeTokenTags(styleTags);
    TextBuffer out = resultRing.TakeBuffer();
    try {
        SpecialOffsets specials;
        out.Reserve(text.size());
        // Each block is searched for after the previous one in the original
        // body, so the HTML written is never read again and every pass ends.
        std::size_t pos = 0;
        while (close != std::string_view::npos) {
            out.Append(text.substr(pos, open - pos));
            // Room for this block and the rest of the body as they stand, so
            // that the output grows about once, not once per block.
            const std::size_t innerStart = open + kOpenMarker.size();
            const std::string_view inner = text.substr(innerStart, close - innerStart);
            out.Reserve(CheckedAdd(CheckedAdd(out.Size(), GuessBlockHtmlSize(tags, inner.size())),
                                   text.size() - close));
            WriteBlock(out, tags, inner, text.data() + text.size(), specials);
            pos = close + kCloseMarker.size();
            open = text.find(kOpenMarker, pos);
            if (open == std::string_view::npos) break;
            close = text.find(kCloseMarker, open + kOpenMarker.size());
        }
        out.Append(text.substr(pos));
    } catch (...) {
        tokenQueue.Clear();
        resultRing.ReturnBuffer(std::move(out));
        throw;
    }
    return resultRing.Store(std::move(out));
}

}  // namespace lumarix
