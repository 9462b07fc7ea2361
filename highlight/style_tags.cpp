#include "highlight/style_tags.h"

#include <utility>

namespace lumarix {

StyleTagSet styleTags;

namespace {

void SetPair(bool on, const char* open, const char* close, std::string& openTag,
             std::string& closeTag) {
    openTag = on ? open : "";
    closeTag = on ? close : "";
}

CategoryTags BuildCategoryTags(const CategoryStyle& style) {
    CategoryTags tags;
    tags.colorOpen = "<font color=\"" + style.color + "\">";
    SetPair(style.bold, "<b>", "</b>", tags.boldOpen, tags.boldClose);
    SetPair(style.italic, "<i>", "</i>", tags.italicOpen, tags.italicClose);
    SetPair(style.underline, "<u>", "</u>", tags.underlineOpen, tags.underlineClose);
    return tags;
}

}  // namespace

void RebuildStyleTags(const CategoryStyles& styles) {
    StyleTagSet rebuilt;
    for (std::size_t c = 0; c < kCategoryCount; ++c)
        rebuilt.categories[c] = BuildCategoryTags(styles[c]);
    styleTags = std::move(rebuilt);
}

}  // namespace lumarix
