// The five highlight categories as the host sees them: one row each, in the
// order the settings page shows them. Column registration, the settings page
// and the style rebuild all walk this table.
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

// Where the host has always met a category: the place of its colour and of
// its switches among the registered columns, and of its colour among the
// rebuild's reads (the switches are read by column number).
struct HostOrder {
    std::uint8_t colorRegistered;
    std::uint8_t switchRegistered;
    std::uint8_t colorRead;
};

struct CategoryRow {
    Category category;
    const char* keyName;  // the last part of the category's settings keys
    std::uint32_t colorColumn;
    const char* defaultColor;
    std::array<std::uint32_t, 3> switchColumns;  // bold, italic, underline
    std::array<bool, 3> switchDefaults;
    std::uint32_t nameItem;  // the page item of the category's name
    const char* caption;     // code page 1250
    std::uint16_t indent;    // of the colour field; 0: the 74-byte form
    HostOrder order;
};

inline constexpr Cp1250Text kKeyWordsCaption(u8"Słowa kluczowe");
inline constexpr Cp1250Text kStringsCaption(u8"Stringi");
inline constexpr Cp1250Text kNumbersCaption(u8"Cyfry");
inline constexpr Cp1250Text kCommentsCaption(u8"Komentarze");
inline constexpr Cp1250Text kOperatorsCaption(u8"Operatory");

// clang-format off
inline constexpr std::array<CategoryRow, kCategoryCount> kCategoryRows = {{
    {Category::Key_words, "Key_words", 1000022, "#000000", {1000043, 1000044, 1000045}, {true, false, false}, 1000026, kKeyWordsCaption.c_str(), 0, {1, 1, 3}},
    {Category::Strings, "Strings", 1000025, "#0000FF", {1000031, 1000032, 1000033}, {false, false, false}, 1000028, kStringsCaption.c_str(), 45, {2, 0, 0}},
    {Category::Numbers, "Numbers", 1000023, "#FF0000", {1000037, 1000038, 1000039}, {false, false, false}, 1000029, kNumbersCaption.c_str(), 48, {3, 2, 1}},
    {Category::Comments, "Comments", 1000021, "#000080", {1000040, 1000041, 1000042}, {false, true, false}, 1000030, kCommentsCaption.c_str(), 18, {0, 3, 2}},
    {Category::Operators, "Operators", 1000024, "#840000", {1000034, 1000035, 1000036}, {true, false, false}, 1000027, kOperatorsCaption.c_str(), 25, {4, 4, 4}},
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

inline constexpr std::size_t kSettingsColumnCount = kCategoryCount * kFieldCount;
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

constexpr SettingsColumn ColumnOf(std::size_t r, StyleField field) {
    const CategoryRow& row = kCategoryRows[r];
    const auto f = static_cast<std::size_t>(field);
    const char* key = kKeys[r * kFieldCount + f].data();
    if (field == StyleField::Color)
        return {row.colorColumn, key, true, row.defaultColor, 0, row.category, field};
    const std::uint32_t on = row.switchDefaults[f - 1] ? 1 : 0;
    return {row.switchColumns[f - 1], key, false, nullptr, on, row.category, field};
}

constexpr StyleField SwitchField(std::size_t s) {
    return static_cast<StyleField>(s + 1);
}

// The colours first, then each switch for every category.
constexpr SettingsColumns ColumnsInRegistrationOrder() {
    SettingsColumns columns{};
    for (std::size_t r = 0; r < kCategoryCount; ++r) {
        const HostOrder& order = kCategoryRows[r].order;
        columns[order.colorRegistered] = ColumnOf(r, StyleField::Color);
        for (std::size_t s = 0; s < 3; ++s)
            columns[kCategoryCount * (s + 1) + order.switchRegistered] =
                ColumnOf(r, SwitchField(s));
    }
    return columns;
}

// The switches by column number, then the colours.
constexpr SettingsColumns ColumnsInReadOrder() {
    SettingsColumns columns{};
    const std::size_t switchCount = kSettingsColumnCount - kCategoryCount;
    for (std::size_t r = 0; r < kCategoryCount; ++r) {
        columns[switchCount + kCategoryRows[r].order.colorRead] = ColumnOf(r, StyleField::Color);
        for (std::size_t s = 0; s < 3; ++s) columns[3 * r + s] = ColumnOf(r, SwitchField(s));
    }
    std::sort(columns.begin(), columns.begin() + switchCount,
              [](const SettingsColumn& a, const SettingsColumn& b) { return a.column < b.column; });
    return columns;
}

// Each place of an order is taken once, so every column is there.
constexpr bool EveryColumnPlaced(const SettingsColumns& columns) {
    return std::all_of(columns.begin(), columns.end(),
                       [](const SettingsColumn& c) { return c.key != nullptr; });
}
}  // namespace detail

inline constexpr SettingsColumns kSettingsColumns = detail::ColumnsInRegistrationOrder();
inline constexpr SettingsColumns kColumnsInReadOrder = detail::ColumnsInReadOrder();
static_assert(detail::EveryColumnPlaced(kSettingsColumns) &&
              detail::EveryColumnPlaced(kColumnsInReadOrder));

}  // namespace lumarix
