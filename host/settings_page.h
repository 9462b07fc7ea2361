// The plug-in's settings page: its items, declared to the host on call 22000,
// and the action on a category's name (call 22200).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumarix {

struct PageItemRow {
    std::uint32_t id;
    std::uint32_t itemKind;
    const char* text;  // code page 1250, or null
    std::uint32_t number;
    std::uint16_t indent;  // 0: the 74-byte form; otherwise the extended form
};

// The items in the order the host lays them out.
inline constexpr std::size_t kItemsPerCategory = 5;
inline constexpr std::size_t kPageItemCount = 6 + kItemsPerCategory * 5;
extern const std::array<PageItemRow, kPageItemCount> kPageItems;

// Sends call 10109 and the 31 creations 10101; answers 1.
std::intptr_t BuildSettingsPage();

// Flips status bit 0x2 of the colour field that belongs to the operated
// category name; `itemNumber` is the one in the host's record of call 22200.
// Answers 0.
std::intptr_t OnPageAction(std::uint32_t itemNumber);

}  // namespace lumarix
