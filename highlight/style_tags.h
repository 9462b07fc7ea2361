// The HTML tag sequences with which the formatter wraps tokens, one pair per
// highlight category, composed from plain per-category styles whenever the
// settings change, so that rewriting a body only reads them.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "highlight/token_queue.h"

namespace lumarix {

// In the order of the token kinds that receive them (TokenKind 0 to 4).
enum class Category : std::uint8_t { Operators, Key_words, Strings, Comments, Numbers };
inline constexpr std::size_t kCategoryCount = 5;
static_assert(static_cast<std::size_t>(TokenKind::Plain) == kCategoryCount);

// One category's settings: its colour text, written into the tag escaped but
// otherwise as it is, and three switches.
struct CategoryStyle {
    std::string color;
    std::array<bool, 3> switches{};  // bold, italic, underline
};
using CategoryStyles = std::array<CategoryStyle, kCategoryCount>;  // indexed by Category

// How each category looks until the host reports its settings; the host
// registers its settings columns with these defaults.
struct DefaultStyle {
    const char* color;
    std::array<bool, 3> switches;  // bold, italic, underline
};
inline constexpr std::array<DefaultStyle, kCategoryCount> kDefaultStyles = {{
    {"#840000", {true, false, false}},   // Operators
    {"#000000", {true, false, false}},   // Key_words
    {"#0000FF", {false, false, false}},  // Strings
    {"#000080", {false, true, false}},   // Comments
    {"#FF0000", {false, false, false}},  // Numbers
}};

// A tag sequence stored in at least kRoom bytes, so that writing a short one
// is one fixed-size move: the formatter's output keeps kRoom bytes of slack.
class TagPiece {
  public:
    static constexpr std::size_t kRoom = 32;

    explicit TagPiece(std::string_view text = {}) : stored_(text), size_(text.size()) {
        stored_.resize(std::max(size_, kRoom));
    }
    std::size_t Size() const noexcept { return size_; }
    std::string_view View() const noexcept { return {stored_.data(), size_}; }
    // Writes the sequence at `to`, and up to kRoom bytes of scribble past it;
    // returns the end of the sequence.
    char* WriteTo(char* to) const noexcept {
        if (size_ > kRoom) [[unlikely]]
            std::memcpy(to, stored_.data(), size_);
        else
            std::memcpy(to, stored_.data(), kRoom);
        return to + size_;
    }

  private:
    std::string stored_;  // the sequence, then zeros up to kRoom bytes
    std::size_t size_;
};

// What a token is wrapped in: its colour tag, then italic, bold and underline
// as switched on; closed in reverse order.
struct TokenTags {
    TagPiece open;
    TagPiece close;
};

// Indexed by TokenKind; Plain tokens get no tags.
struct StyleTagSet {
    std::array<TokenTags, kTokenKindCount> kinds;

    const TokenTags& operator[](Category c) const { return kinds[static_cast<std::size_t>(c)]; }
};

StyleTagSet ComposeStyleTags(const CategoryStyles& styles);

// The tags every rewrite reads. They start as kDefaultStyles give them, so that
// a message that comes before the host reports its settings is wrapped in
// whole, balanced tags.
extern StyleTagSet styleTags;

// Replaces the tags with those of `styles`, only once they are all built.
void RebuildStyleTags(const CategoryStyles& styles);

}  // namespace lumarix
