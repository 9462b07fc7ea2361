#include "highlight/style_tags.h"

#include <utility>

namespace lumarix {

StyleTagSet styleTags;

void RebuildStyleTags(const CategoryStyles& styles) {
    StyleTagSet rebuilt;
    for (std::size_t c = 0; c < kCategoryCount; ++c) {
        const CategoryStyle& style = styles[c];
        CategoryTags& tags = rebuilt.categories[c];
        tags.colorOpen = "<font color=\"" + style.color + "\">";
        tags.boldOpen = style.bold ? "<b>" : "";
        tags.boldClose = style.bold ? "</b>" : "";
        tags.italicOpen = style.italic ? "<i>" : "";
        tags.italicClose = style.italic ? "</i>" : "";
        tags.underlineOpen = style.underline ? "<u>" : "";
        tags.underlineClose = style.underline ? "</u>" : "";
    }
    styleTags = std::move(rebuilt);
}

}  // namespace lumarix
