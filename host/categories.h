// The five highlight categories as the host sees them: one row each, in the
// order the settings page shows them, and the two orders in which the host
// meets their settings columns. Column registration, the settings page and the
// style rebuild all walk these tables.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "highlight/style_tags.h"
#include "host/cp1250.h"

namespace lumarix {

enum class StyleField : std::uint8_t { Color, Bold, Italic, Underline };
inline constexpr std::size_t kFieldCount = 4;

struct CategoryRow {
    Category category;
    const char* keyName;  // the last part of the category's settings keys
    std::uint32_t colorColumn;
    std::array<std::uint32_t, 3> switchColumns;  // bold, italic, underline
    std::uint32_t nameItem;                      // the page item of the category's name
    const char* caption;                         // code page 1250
    std::uint16_t indent;                        // of the colour field; 0: the 74-byte form
};

inline constexpr Cp1250Text kKeyWordsCaption(u8"Słowa kluczowe");
inline constexpr Cp1250Text kStringsCaption(u8"Stringi");
inline constexpr Cp1250Text kNumbersCaption(u8"Cyfry");
inline constexpr Cp1250Text kCommentsCaption(u8"Komentarze");
inline constexpr Cp1250Text kOperatorsCaption(u8"Operatory");

// clang-format off
inline constexpr std::array<CategoryRow, kCategoryCount> kCategoryRows = {{
    {Category::Key_words, "Key_words", 1000022, {1000043, 1000044, 1000045}, 1000026, kKeyWordsCaption.c_str(), 0},
    {Category::Strings, "Strings", 1000025, {1000031, 1000032, 1000033}, 1000028, kStringsCaption.c_str(), 45},
    {Category::Numbers, "Numbers", 1000023, {1000037, 1000038, 1000039}, 1000029, kNumbersCaption.c_str(), 48},
    {Category::Comments, "Comments", 1000021, {1000040, 1000041, 1000042}, 1000030, kCommentsCaption.c_str(), 18},
    {Category::Operators, "Operators", 1000024, {1000034, 1000035, 1000036}, 1000027, kOperatorsCaption.c_str(), 25},
}};
// clang-format on

// A settings column named by its category and the style field it holds.
struct ColumnPlace {
    Category category;
    StyleField field;
};

inline constexpr std::size_t kSettingsColumnCount = kCategoryCount * kFieldCount;
using ColumnOrder = std::array<ColumnPlace, kSettingsColumnCount>;

// The orders in which the host has always met the columns, as it meets them.
namespace host_order {
using enum Category;
using enum StyleField;

// Call 21001 registers the colours, then each switch for every category.
// clang-format off
inline constexpr ColumnOrder kRegistration = {{
    {Comments, Color},    {Key_words, Color},     {Strings, Color},     {Numbers, Color},      {Operators, Color},
    {Strings, Bold},      {Key_words, Bold},      {Numbers, Bold},      {Comments, Bold},      {Operators, Bold},
    {Strings, Italic},    {Key_words, Italic},    {Numbers, Italic},    {Comments, Italic},    {Operators, Italic},
    {Strings, Underline}, {Key_words, Underline}, {Numbers, Underline}, {Comments, Underline}, {Operators, Underline},
}};

// A rebuild (calls 21020 and 22100) reads the switches by column number, then the colours.
inline constexpr ColumnOrder kRead = {{
    {Strings, Bold},   {Strings, Italic},   {Strings, Underline},
    {Operators, Bold}, {Operators, Italic}, {Operators, Underline},
    {Numbers, Bold},   {Numbers, Italic},   {Numbers, Underline},
    {Comments, Bold},  {Comments, Italic},  {Comments, Underline},
    {Key_words, Bold}, {Key_words, Italic}, {Key_words, Underline},
    {Strings, Color},  {Numbers, Color},    {Comments, Color},     {Key_words, Color}, {Operators, Color},
}};
// clang-format on
}  // namespace host_order

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

using SettingsColumns = std::array<SettingsColumn, kSettingsColumnCount>;

namespace detail {
using KeyText = std::array<char, 32>;

constexpr KeyText JoinKey(std::string_view prefix, std::string_view name) {
    if (prefix.size() + name.size() >= KeyText().size()) throw "settings key too long";
    KeyText key{};
    std::copy(prefix.begin(), prefix.end(), key.begin());
    std::copy(name.begin(), name.end(), key.begin() + prefix.size());
    return key;
}

constexpr std::array<std::string_view, kFieldCount> kKeyPrefixes = {
    "LX/Colors/", "LX/Style/Bold/", "LX/Style/Italic/", "LX/Style/Underline/"};

// The keys of row r's fields at r * kFieldCount + field.
constexpr std::array<KeyText, kSettingsColumnCount> MakeKeys() {
    std::array<KeyText, kSettingsColumnCount> keys{};
    for (std::size_t r = 0; r < kCategoryCount; ++r)
        for (std::size_t f = 0; f < kFieldCount; ++f)
            keys[r * kFieldCount + f] = JoinKey(kKeyPrefixes[f], kCategoryRows[r].keyName);
    return keys;
}
inline constexpr std::array<KeyText, kSettingsColumnCount> kKeys = MakeKeys();

// The row of `category` in the category table.
constexpr std::size_t RowOf(Category category) {
    std::size_t r = 0;
    while (kCategoryRows[r].category != category) ++r;
    return r;
}

constexpr SettingsColumn ColumnAt(ColumnPlace place) {
    const std::size_t r = RowOf(place.category);
    const CategoryRow& row = kCategoryRows[r];
    const auto f = static_cast<std::size_t>(place.field);
    const char* key = kKeys[r * kFieldCount + f].data();
    const DefaultStyle& defaults = kDefaultStyles[static_cast<std::size_t>(row.category)];
    if (place.field == StyleField::Color)
        return {row.colorColumn, key, true, defaults.color, 0, row.category, place.field};
    const std::uint32_t on = defaults.switches[f - 1] ? 1 : 0;
    return {row.switchColumns[f - 1], key, false, nullptr, on, row.category, place.field};
}

// Every field of every row of the category table is in `order` exactly once.
constexpr bool NamesEveryColumnOnce(const ColumnOrder& order) {
    std::array<int, kSettingsColumnCount> seen{};
    for (const ColumnPlace& p : order)
        ++seen[RowOf(p.category) * kFieldCount + static_cast<std::size_t>(p.field)];
    return std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; });
}

constexpr SettingsColumns ColumnsIn(const ColumnOrder& order) {
    SettingsColumns columns{};
    std::transform(order.begin(), order.end(), columns.begin(), ColumnAt);
    return columns;
}
}  // namespace detail

static_assert(detail::NamesEveryColumnOnce(host_order::kRegistration) &&
              detail::NamesEveryColumnOnce(host_order::kRead));
inline constexpr SettingsColumns kSettingsColumns = detail::ColumnsIn(host_order::kRegistration);
inline constexpr SettingsColumns kColumnsInReadOrder = detail::ColumnsIn(host_order::kRead);

}  // namespace lumarix
