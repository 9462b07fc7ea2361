// The plug-in's settings page as the stand-in host shows it: drawn from the
// items the plug-in created, as UTF-8 text for a terminal, and the user's
// action on one of its items (call 22200).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/stand_in_host.h"

namespace lumarix::tools {

// Code page 1250 text as UTF-8. Bytes the code page leaves undefined become
// U+FFFD.
std::string Cp1250ToUtf8(std::string_view text);

// The whole page, group by group and line by line, ending in a line feed.
std::string DrawSettingsPage(const StandInHost& host);

// The number the host's call 22200 names an item by. `target` is a caption in
// UTF-8 (unique on the page, such as "Cyfry") or a number, decimal or 0x-hex:
// a bare item number n gives kItemNumberTag + n, a number with a top byte is taken
// as it is. Empty with `error` set when nothing or several items match.
std::optional<std::uint32_t> FindItemNumber(const StandInHost& host, std::string_view target,
                                            std::string& error);

// A line of the settings page that holds a colour field: the caption that opens
// the line (code page 1250; empty when it has none), the field's column number
// and those of the switches after it, in order.
struct ColorFieldLine {
    std::string caption;
    std::uint32_t column;
    std::vector<std::uint32_t> switchColumns{};
};

// The lines with a colour field, in the order the page shows them.
std::vector<ColorFieldLine> FindColorFieldLines(const StandInHost& host);

// Tells the plug-in that the user operated item `itemNumber` (call 22200) and
// describes the status of the colour field on that item's line afterwards.
std::string OperateItem(StandInHost& host, std::uint32_t itemNumber);

}  // namespace lumarix::tools
