// The five highlight categories as the host sees them: one row each, in the
// order the settings page shows them. Column registration, the settings page
// and the style rebuild all walk this table.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "highlight/style_tags.h"
#include "host/cp1250.h"

namespace lumarix {

enum class StyleField : std::uint8_t { Color, Bold, Italic, Underline };

struct SwitchColumn {
    std::uint32_t column;
    const char* key;
    bool defaultOn;
};

struct CategoryRow {
    Category category;
    std::uint32_t colorColumn;
    const char* colorKey;
    const char* defaultColor;
    std::array<SwitchColumn, 3> switches;  // bold, italic, underline
    std::uint32_t nameItem;                // the page item of the category's name
    const char* caption;                   // code page 1250
    std::uint16_t indent;                  // of the colour field; 0: the 74-byte form
    // Where the host has always met this category: the place of its colour
    // and of its switches among the registered columns, and of its colour
    // among the rebuild's reads (the switches are read by column number).
    std::uint8_t colorRegistered;
    std::uint8_t switchRegistered;
    std::uint8_t colorRead;
};

inline constexpr Cp1250Text kKeyWordsCaption(u8"Słowa kluczowe");
inline constexpr Cp1250Text kStringsCaption(u8"Stringi");
inline constexpr Cp1250Text kNumbersCaption(u8"Cyfry");
inline constexpr Cp1250Text kCommentsCaption(u8"Komentarze");
inline constexpr Cp1250Text kOperatorsCaption(u8"Operatory");

// clang-format off
inline constexpr std::array<CategoryRow, kCategoryCount> kCategoryRows = {{
    {Category::Key_words, 1000022, "LX/Colors/Key_words", "#000000",
     {{{1000043, "LX/Style/Bold/Key_words", true},
       {1000044, "LX/Style/Italic/Key_words", false},
       {1000045, "LX/Style/Underline/Key_words", false}}},
     1000026, kKeyWordsCaption.c_str(), 0, 1, 1, 3},
    {Category::Strings, 1000025, "LX/Colors/Strings", "#0000FF",
     {{{1000031, "LX/Style/Bold/Strings", false},
       {1000032, "LX/Style/Italic/Strings", false},
       {1000033, "LX/Style/Underline/Strings", false}}},
     1000028, kStringsCaption.c_str(), 45, 2, 0, 0},
    {Category::Numbers, 1000023, "LX/Colors/Numbers", "#FF0000",
     {{{1000037, "LX/Style/Bold/Numbers", false},
       {1000038, "LX/Style/Italic/Numbers", false},
       {1000039, "LX/Style/Underline/Numbers", false}}},
     1000029, kNumbersCaption.c_str(), 48, 3, 2, 1},
    {Category::Comments, 1000021, "LX/Colors/Comments", "#000080",
     {{{1000040, "LX/Style/Bold/Comments", false},
       {1000041, "LX/Style/Italic/Comments", true},
       {1000042, "LX/Style/Underline/Comments", false}}},
     1000030, kCommentsCaption.c_str(), 18, 0, 3, 2},
    {Category::Operators, 1000024, "LX/Colors/Operators", "#840000",
     {{{1000034, "LX/Style/Bold/Operators", true},
       {1000035, "LX/Style/Italic/Operators", false},
       {1000036, "LX/Style/Underline/Operators", false}}},
     1000027, kOperatorsCaption.c_str(), 25, 4, 4, 4},
}};
// clang-format on

// One settings column, as registered and as read.
struct SettingsColumn {
    std::uint32_t column;
    const char* key;
    bool isText;               // text column, else integer column
    const char* defaultText;   // text columns
    std::uint32_t defaultInt;  // integer columns
    Category category;
    StyleField field;
};

inline constexpr std::size_t kSettingsColumnCount = kCategoryCount * 4;
using SettingsColumns = std::array<SettingsColumn, kSettingsColumnCount>;

namespace detail {
constexpr SettingsColumn ColorColumnOf(const CategoryRow& row) {
    return {row.colorColumn, row.colorKey,     true, row.defaultColor, 0,
            row.category,    StyleField::Color};
}

constexpr SettingsColumn SwitchColumnOf(const CategoryRow& row, std::size_t s) {
    const SwitchColumn& sw = row.switches[s];
    return {sw.column,
            sw.key,
            false,
            nullptr,
            sw.defaultOn ? 1u : 0u,
            row.category,
            static_cast<StyleField>(s + 1)};
}

// The colours first, then each switch for every category.
constexpr SettingsColumns ColumnsInRegistrationOrder() {
    SettingsColumns columns{};
    for (const CategoryRow& row : kCategoryRows) {
        columns[row.colorRegistered] = ColorColumnOf(row);
        for (std::size_t s = 0; s < 3; ++s)
            columns[kCategoryCount * (s + 1) + row.switchRegistered] = SwitchColumnOf(row, s);
    }
    return columns;
}

// The switches by column number, then the colours.
constexpr SettingsColumns ColumnsInReadOrder() {
    SettingsColumns columns{};
    std::size_t next = 0;
    for (const CategoryRow& row : kCategoryRows) {
        columns[kSettingsColumnCount - kCategoryCount + row.colorRead] = ColorColumnOf(row);
        for (std::size_t s = 0; s < 3; ++s) columns[next++] = SwitchColumnOf(row, s);
    }
    std::sort(columns.begin(), columns.begin() + next,
              [](const SettingsColumn& a, const SettingsColumn& b) { return a.column < b.column; });
    return columns;
}
}  // namespace detail

inline constexpr SettingsColumns kSettingsColumns = detail::ColumnsInRegistrationOrder();
inline constexpr SettingsColumns kColumnsInReadOrder = detail::ColumnsInReadOrder();

}  // namespace lumarix
