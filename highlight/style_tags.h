// The HTML tag strings with which the formatter wraps tokens, one set per
// highlight category, built from plain per-category styles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumarix {

// In the order of the token kinds that receive them (TokenKind 0 to 4).
enum class Category : std::uint8_t { Operators, Key_words, Strings, Comments, Numbers };
inline constexpr std::size_t kCategoryCount = 5;

// One category's settings: its colour text, used as it is, and three switches.
struct CategoryStyle {
    std::string color;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};
using CategoryStyles = std::array<CategoryStyle, kCategoryCount>;  // indexed by Category

struct CategoryTags {
    std::string colorOpen;
    std::string boldOpen;
    std::string boldClose;
    std::string italicOpen;
    std::string italicClose;
    std::string underlineOpen;
    std::string underlineClose;
};

struct StyleTagSet {
    std::array<CategoryTags, kCategoryCount> categories;

    const CategoryTags& operator[](Category c) const {
        return categories[static_cast<std::size_t>(c)];
    }
};

// Empty until the first rebuild.
extern StyleTagSet styleTags;

// Rebuilds all 35 strings from `styles`. The set is replaced as a whole, only
// once every string is built.
void RebuildStyleTags(const CategoryStyles& styles);

}  // namespace lumarix
