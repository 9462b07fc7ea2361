#include "highlight/formatter.h"

#include <cstring>
#include <utility>

#include "highlight/lexer.h"
#include "highlight/style_tags.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix {

ResultRing resultRing;

TextBuffer ResultRing::TakeBuffer() noexcept {
    TextBuffer buffer = std::move(spare_);
    spare_ = TextBuffer();
    buffer.Clear();
    return buffer;
}

void ResultRing::ReturnBuffer(TextBuffer buffer) noexcept {
    if (buffer.Capacity() > spare_.Capacity()) spare_ = std::move(buffer);
}

const char* ResultRing::Store(TextBuffer text) noexcept {
    TextBuffer& slot = slots_[next_];
    std::swap(slot, text);
    ReturnBuffer(std::move(text));  // the overwritten result's storage serves the next one
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

// Opening and closing sequences per token kind, composed once per body from
// the style tags as they stand. Plain tokens get none.
struct TokenTags {
    std::array<std::string, kTokenKindCount> open;
    std::array<std::string, kTokenKindCount> close;
};

constexpr std::array<Category, kTokenKindCount - 1> kCategoryOfKind = {
    Category::Operators, Category::Key_words, Category::Strings, Category::Comments,
    Category::Numbers};

TokenTags ComposeTokenTags(const StyleTagSet& tags) {
    TokenTags composed;
    for (std::size_t kind = 0; kind < kCategoryOfKind.size(); ++kind) {
        const CategoryTags& c = tags[kCategoryOfKind[kind]];
        composed.open[kind] = c.colorOpen + c.italicOpen + c.boldOpen + c.underlineOpen;
        composed.close[kind] =
            c.underlineClose + c.boldClose + c.italicClose + std::string(kFontClose);
    }
    return composed;
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

std::size_t EscapedSize(std::string_view text) noexcept {
    std::size_t size = text.size();
    for (char c : text)
        if (HasClass(c, kHtmlSpecial)) size += EntityFor(c).size() - 1;
    return size;
}

char* Copy(char* to, std::string_view text) noexcept {
    std::memcpy(to, text.data(), text.size());
    return to + text.size();
}

// Code is shown as code: "&", "<" and ">" become entities, nothing else changes.
char* CopyEscaped(char* to, std::string_view text) noexcept {
    for (char c : text) {
        if (HasClass(c, kHtmlSpecial))
            to = Copy(to, EntityFor(c));
        else
            *to++ = c;
    }
    return to;
}

// The exact size of the queued block's HTML, so that the output grows at most
// once per block.
std::size_t BlockHtmlSize(const TokenTags& tags, std::size_t escapedTextSize) noexcept {
    std::size_t size = kBlockOpen.size() + kBlockClose.size() + escapedTextSize;
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
        size += tokenQueue.CountOf(static_cast<TokenKind>(kind)) *
                (tags.open[kind].size() + tags.close[kind].size());
    return size;
}

// Drains the token queue into `to` as one block of HTML; returns the end.
char* WriteBlock(char* to, const TokenTags& tags, bool escape) {
    to = Copy(to, kBlockOpen);
    while (!tokenQueue.Empty()) {
        const Token& token = tokenQueue.Front();
        const auto kind = static_cast<std::size_t>(token.kind);
        to = Copy(to, tags.open[kind]);
        to = escape ? CopyEscaped(to, token.text) : Copy(to, token.text);
        to = Copy(to, tags.close[kind]);
        tokenQueue.PopFront();
    }
    return Copy(to, kBlockClose);
}

}  // namespace

const char* FormatBody(const char* body) {
    const std::string_view text(body);
    if (text.find(kOpenMarker) == std::string_view::npos ||
        text.find(kCloseMarker) == std::string_view::npos)
        return body;

    const TokenTags tags = ComposeTokenTags(styleTags);
    TextBuffer out = resultRing.TakeBuffer();
    try {
        out.Reserve(text.size());
        // Each block is searched for after the previous one in the original
        // body, so the HTML written is never read again and every pass ends.
        std::size_t pos = 0;
        for (;;) {
            const std::size_t open = text.find(kOpenMarker, pos);
            if (open == std::string_view::npos) break;
            const std::size_t inner = open + kOpenMarker.size();
            const std::size_t close = text.find(kCloseMarker, inner);
            if (close == std::string_view::npos) break;
            out.Append(text.substr(pos, open - pos));
            LexBlock(text.substr(inner, close - inner));
            const std::size_t escapedSize = EscapedSize(tokenQueue.BlockText());
            const std::size_t size = BlockHtmlSize(tags, escapedSize);
            // Room for the rest of the body too, so that many blocks grow the
            // output only a few times.
            out.Reserve(out.Size() + size + (text.size() - close));
            WriteBlock(out.Extend(size), tags, escapedSize != tokenQueue.BlockText().size());
            pos = close + kCloseMarker.size();
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
