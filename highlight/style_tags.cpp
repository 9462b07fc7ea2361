#include "highlight/style_tags.h"

#include <utility>

namespace lumarix {

StyleTagSet styleTags;

void RebuildStyleTags(const CategoryStyles& styles) {
    StyleTagSet rebuilt;
    for (std::size_t c = 0; c < kCategoryCount; ++c) {
        const CategoryStyle& style = styles[c];
        CategoryTags& tags = rebuilt.categories[c];
        tags.open = "<font color=\"" + style.color + "\">" + (style.italic ? "<i>" : "") +
                    (style.bold ? "<b>" : "") + (style.underline ? "<u>" : "");
        tags.close = std::string(style.underline ? "</u>" : "") + (style.bold ? "</b>" : "") +
                     (style.italic ? "</i>" : "") + "</font>";
    }
    styleTags = std::move(rebuilt);
}

}  // namespace lumarix
