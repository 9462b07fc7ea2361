#include "highlight/style_tags.h"

#include <utility>

namespace lumarix {

StyleTagSet styleTags;

namespace {

// Categories in the order the switch columns count them.
constexpr std::array<Category, kCategoryCount> kSwitchOrder = {
    Category::Strings, Category::Operators, Category::Numbers, Category::Comments,
    Category::Key_words};

struct ColorColumn {
    Category category;
    std::uint32_t column;
};

// The order in which the colours are read.
constexpr std::array<ColorColumn, kCategoryCount> kColorColumns = {{
    {Category::Strings, 1000025},
    {Category::Numbers, 1000023},
    {Category::Comments, 1000021},
    {Category::Key_words, 1000022},
    {Category::Operators, 1000024},
}};

struct SwitchTags {
    std::string CategoryTags::*open;
    std::string CategoryTags::*close;
    std::string_view openTag;
    std::string_view closeTag;
};

constexpr std::array<SwitchTags, 3> kSwitches = {{
    {&CategoryTags::boldOpen, &CategoryTags::boldClose, "<b>", "</b>"},
    {&CategoryTags::italicOpen, &CategoryTags::italicClose, "<i>", "</i>"},
    {&CategoryTags::underlineOpen, &CategoryTags::underlineClose, "<u>", "</u>"},
}};

}  // namespace

bool ReadStyleSwitch(std::uint32_t column, const ColumnReader& readColumn) {
    return readColumn(column) == "1";
}

void ApplyStyleSwitch(std::uint32_t column, const ColumnReader& readColumn, StyleTagSet& tags) {
    if (column < kFirstSwitchColumn || column > kLastSwitchColumn) return;
    const std::uint32_t offset = column - kFirstSwitchColumn;
    CategoryTags& category = tags[kSwitchOrder[offset / 3]];
    const SwitchTags& sw = kSwitches[offset % 3];
    const bool on = ReadStyleSwitch(column, readColumn);
    category.*sw.open = on ? sw.openTag : std::string_view();
    category.*sw.close = on ? sw.closeTag : std::string_view();
}

int RebuildStyleTags(const ColumnReader& readColumn) {
    StyleTagSet rebuilt;
    for (std::uint32_t column = kFirstSwitchColumn; column <= kLastSwitchColumn; ++column)
        ApplyStyleSwitch(column, readColumn, rebuilt);
    for (const ColorColumn& color : kColorColumns) {
        std::string& open = rebuilt[color.category].colorOpen;
        open = "<font color=\"";
        open += readColumn(color.column);
        open += "\">";
    }
    styleTags = std::move(rebuilt);
    return 0;
}

}  // namespace lumarix
