#include "highlight/formatter.h"

#include <algorithm>
#include <utility>

#include "highlight/lexer.h"
#include "highlight/style_tags.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix {

ResultRing resultRing;

std::string ResultRing::TakeBuffer() noexcept {
    std::string buffer = std::move(spare_);
    spare_ = std::string();
    buffer.clear();
    return buffer;
}

void ResultRing::ReturnBuffer(std::string buffer) noexcept {
    if (buffer.capacity() > spare_.capacity()) spare_ = std::move(buffer);
}

const char* ResultRing::Store(std::string text) noexcept {
    std::string& slot = slots_[next_];
    std::swap(slot, text);
    ReturnBuffer(std::move(text));  // the overwritten result's storage serves the next one
    next_ = (next_ + 1) % kSlots;
    ++resultCount_;
    return slot.c_str();
}

void ResultRing::Clear() noexcept {
    for (std::string& slot : slots_) slot = std::string();
    spare_ = std::string();
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
        case '&': return "&amp;";
        case '<': return "&lt;";
        default: return "&gt;";
    }
}

std::size_t EscapedSize(std::string_view text) noexcept {
    std::size_t size = text.size();
    for (char c : text)
        if (HasClass(c, kHtmlSpecial)) size += EntityFor(c).size() - 1;
    return size;
}

// Code is shown as code: "&", "<" and ">" become entities, nothing else changes.
void AppendEscaped(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (!HasClass(text[k], kHtmlSpecial)) continue;
        out.append(text.data() + run, k - run);
        out += EntityFor(text[k]);
        run = k + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

// The exact size of the queued block's HTML, so that the output grows at most
// once per block.
std::size_t BlockHtmlSize(const TokenTags& tags) noexcept {
    std::size_t size = kBlockOpen.size() + kBlockClose.size() + EscapedSize(tokenQueue.BlockText());
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
        size += tokenQueue.CountOf(static_cast<TokenKind>(kind)) *
                (tags.open[kind].size() + tags.close[kind].size());
    return size;
}

void Reserve(std::string& out, std::size_t needed) {
    if (needed > out.capacity()) out.reserve(std::max(needed, out.capacity() + out.capacity() / 2));
}

// Drains the token queue into `out` as one block of HTML.
void WriteBlock(std::string& out, const TokenTags& tags) {
    out += kBlockOpen;
    while (!tokenQueue.Empty()) {
        const Token& token = tokenQueue.Front();
        const auto kind = static_cast<std::size_t>(token.kind);
        out += tags.open[kind];
        AppendEscaped(out, token.text);
        out += tags.close[kind];
        tokenQueue.PopFront();
    }
    out += kBlockClose;
}

}  // namespace

const char* FormatBody(const char* body) {
    const std::string_view text(body);
    if (text.find(kOpenMarker) == std::string_view::npos ||
        text.find(kCloseMarker) == std::string_view::npos)
        return body;

    const TokenTags tags = ComposeTokenTags(styleTags);
    std::string out = resultRing.TakeBuffer();
    try {
        Reserve(out, text.size());
        // Each block is searched for after the previous one in the original
        // body, so the HTML written is never read again and every pass ends.
        std::size_t pos = 0;
        for (;;) {
            const std::size_t open = text.find(kOpenMarker, pos);
            if (open == std::string_view::npos) break;
            const std::size_t inner = open + kOpenMarker.size();
            const std::size_t close = text.find(kCloseMarker, inner);
            if (close == std::string_view::npos) break;
            out.append(text, pos, open - pos);
            LexBlock(text.substr(inner, close - inner));
            Reserve(out, out.size() + BlockHtmlSize(tags) + (text.size() - close));
            WriteBlock(out, tags);
            pos = close + kCloseMarker.size();
        }
        out.append(text, pos);
    } catch (...) {
        tokenQueue.Clear();
        resultRing.ReturnBuffer(std::move(out));
        throw;
    }
    return resultRing.Store(std::move(out));
}

}  // namespace lumarix
