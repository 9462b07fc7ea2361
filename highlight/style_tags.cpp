#include "highlight/style_tags.h"

#include "highlight/html_text.h"

namespace lumarix {
namespace {

// A colour text as its attribute's value: no byte of it can end the value or
// the tag early, or open a block. Anything a user can mean stays as typed.
std::string EscapeAttribute(std::string_view text) {
    std::string escaped;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const std::string_view entity = EntityAt(text, k, true);
        escaped += entity.empty() ? text.substr(k, 1) : entity;
    }
    return escaped;
}

}  // namespace

StyleTagSet ComposeStyleTags(const CategoryStyles& styles) {
    StyleTagSet set;
    for (std::size_t c = 0; c < kCategoryCount; ++c) {
        const CategoryStyle& s = styles[c];
        const std::string open = "<font color=\"" + EscapeAttribute(s.color) + "\">" +
                                 (s.italic ? "<i>" : "") + (s.bold ? "<b>" : "") +
                                 (s.underline ? "<u>" : "");
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
