#include "highlight/style_tags.h"

namespace lumarix {

StyleTagSet ComposeStyleTags(const CategoryStyles& styles) {
    StyleTagSet set;
    for (std::size_t c = 0; c < kCategoryCount; ++c) {
        const CategoryStyle& s = styles[c];
        const std::string open = "<font color=\"" + s.color + "\">" + (s.italic ? "<i>" : "") +
                                 (s.bold ? "<b>" : "") + (s.underline ? "<u>" : "");
        const std::string close = std::string(s.underline ? "</u>" : "") + (s.bold ? "</b>" : "") +
                                  (s.italic ? "</i>" : "") + "</font>";
        set.kinds[c] = {TagPiece(open), TagPiece(close)};
    }
    return set;
}

void RebuildStyleTags(const CategoryStyles& styles) {
    styleTags = ComposeStyleTags(styles);
}

}  // namespace lumarix
