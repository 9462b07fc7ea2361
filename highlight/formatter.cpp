#include "highlight/formatter.h"

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
constexpr std::string_view kFontClose = "</font>";

// Opening and closing sequences per token kind, composed once per body from
// the style tags as they stand. Plain tokens get none.
struct TokenTags {
    std::array<std::string, kTokenKindCount> open;
    std::array<std::string, kTokenKindCount> close;
};

// Token kinds 0 to 4 take the category of the same number.
static_assert(static_cast<std::size_t>(TokenKind::Plain) == kCategoryCount);

TokenTags ComposeTokenTags(const StyleTagSet& set) {
    TokenTags tags;
    for (std::size_t kind = 0; kind < kCategoryCount; ++kind) {
        const CategoryTags& c = set.categories[kind];
        tags.open[kind] = c.colorOpen + c.italicOpen + c.boldOpen + c.underlineOpen;
        tags.close[kind] = c.underlineClose + c.boldClose + c.italicClose + std::string(kFontClose);
    }
    return tags;
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

// Code is shown as code: "&", "<" and ">" become entities, nothing else changes.
void AppendEscaped(TextBuffer& out, std::string_view text) {
    std::size_t from = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (!HasClass(text[at], kHtmlSpecial)) [[likely]]
            continue;
        out.Append(text.substr(from, at - from));
        out.Append(EntityFor(text[at]));
        from = at + 1;
    }
    out.Append(text.substr(from));
}

// Drains the token queue into `out`, each token inside its kind's tags.
void WriteTokens(TextBuffer& out, const TokenTags& tags) {
    tokenQueue.DrainEach([&](const Token& token) {
        const auto kind = static_cast<std::size_t>(token.kind);
        out.Append(tags.open[kind]);
        AppendEscaped(out, token.text);
        out.Append(tags.close[kind]);
    });
}

// Tokens lexed and written per window: few enough that they are still in the
// cache when they are written, and that the queue stays small.
constexpr std::size_t kTokensPerWindow = 2048;

// Lexes a block and writes its HTML a window of tokens at a time.
void WriteBlock(TextBuffer& out, const TokenTags& tags, std::string_view inner) {
    // The body outlives the call, and the queue is drained before it returns.
    BlockLexer lexer(inner);
    out.Append(kBlockOpen);
    for (bool more = true; more;) {
        more = lexer.LexMore(kTokensPerWindow);
        WriteTokens(out, tags);
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

    const TokenTags tags = ComposeTokenTags(styleTags);
    TextBuffer out = resultRing.TakeBuffer();
    try {
        out.Reserve(text.size());
        // Each block is searched for after the previous one in the original
        // body, so the HTML written is never read again and every pass ends.
        std::size_t pos = 0;
        while (close != std::string_view::npos) {
            out.Append(text.substr(pos, open - pos));
            const std::size_t innerStart = open + kOpenMarker.size();
            WriteBlock(out, tags, text.substr(innerStart, close - innerStart));
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
