// The HTML tag strings with which the formatter wraps tokens, one set per
// highlight category, built from the plug-in's settings columns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lumarix {

enum class Category : std::uint8_t { Comments, Key_words, Strings, Numbers, Operators };
inline constexpr std::size_t kCategoryCount = 5;

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

    CategoryTags& operator[](Category c) { return categories[static_cast<std::size_t>(c)]; }
    const CategoryTags& operator[](Category c) const {
        return categories[static_cast<std::size_t>(c)];
    }
};

// Empty until the first rebuild.
extern StyleTagSet styleTags;

// Gives the current text of a settings column. The view must stay valid until
// the next call; the engine copies what it needs at once.
using ColumnReader = std::function<std::string_view(std::uint32_t column)>;

// Colour columns, one per category.
inline constexpr std::uint32_t kFirstColorColumn = 1000021;  // Comments; then Key_words,
                                                             // Numbers, Operators, Strings
// Switch columns: kFirstSwitchColumn + 3 * k + s, with k counting Strings,
// Operators, Numbers, Comments, Key_words and s counting Bold, Italic, Underline.
inline constexpr std::uint32_t kFirstSwitchColumn = 1000031;
inline constexpr std::uint32_t kLastSwitchColumn = 1000045;

// Rebuilds all 35 strings from the settings and returns 0. The set is replaced
// as a whole only when every read has succeeded.
int RebuildStyleTags(const ColumnReader& readColumn);

// Sets the tag pair of one switch column in `tags`; other ids change nothing.
void ApplyStyleSwitch(std::uint32_t column, const ColumnReader& readColumn, StyleTagSet& tags);

// A switch is on exactly when its text is "1".
bool ReadStyleSwitch(std::uint32_t column, const ColumnReader& readColumn);

}  // namespace lumarix
