// The plug-in's twenty settings columns in the host's settings store.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace lumarix {

struct SettingsColumn {
    std::uint32_t column;
    const char* key;
    bool isText;               // text column, else integer column
    const char* defaultText;   // text columns
    std::uint32_t defaultInt;  // integer columns
};

// In the order in which they are registered: the colours first.
inline constexpr std::array<SettingsColumn, 20> kSettingsColumns = {{
    {1000021, "LX/Colors/Comments", true, "#000080", 0},
    {1000022, "LX/Colors/Key_words", true, "#000000", 0},
    {1000025, "LX/Colors/Strings", true, "#0000FF", 0},
    {1000023, "LX/Colors/Numbers", true, "#FF0000", 0},
    {1000024, "LX/Colors/Operators", true, "#840000", 0},
    {1000031, "LX/Style/Bold/Strings", false, nullptr, 0},
    {1000043, "LX/Style/Bold/Key_words", false, nullptr, 1},
    {1000037, "LX/Style/Bold/Numbers", false, nullptr, 0},
    {1000040, "LX/Style/Bold/Comments", false, nullptr, 0},
    {1000034, "LX/Style/Bold/Operators", false, nullptr, 1},
    {1000032, "LX/Style/Italic/Strings", false, nullptr, 0},
    {1000044, "LX/Style/Italic/Key_words", false, nullptr, 0},
    {1000038, "LX/Style/Italic/Numbers", false, nullptr, 0},
    {1000041, "LX/Style/Italic/Comments", false, nullptr, 1},
    {1000035, "LX/Style/Italic/Operators", false, nullptr, 0},
    {1000033, "LX/Style/Underline/Strings", false, nullptr, 0},
    {1000045, "LX/Style/Underline/Key_words", false, nullptr, 0},
    {1000039, "LX/Style/Underline/Numbers", false, nullptr, 0},
    {1000042, "LX/Style/Underline/Comments", false, nullptr, 0},
    {1000036, "LX/Style/Underline/Operators", false, nullptr, 0},
}};

inline constexpr std::uint32_t kSettingsPageId = 1000010;
inline constexpr std::uint32_t kItemNumberTag = 0x11000000;  // plug-in items: 0x11000000 + n

// Declares the twenty columns with call 1102 each; answers 1.
std::intptr_t RegisterColumns();

// The current text of column n. Without a held control it is the registered
// default (the empty text for unknown columns); a null answer from the host
// reads as the empty text. The view is valid until the next host call.
std::string_view ReadColumnText(std::uint32_t column);

}  // namespace lumarix
