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
        const auto& [bold, italic, underline] = styles[c].switches;
        const std::string open = "<font color=\"" + EscapeAttribute(styles[c].color) + "\">" +
                                 (italic ? "<i>" : "") + (bold ? "<b>" : "") +
                                 (underline ? "<u>" : "");
        const std::string close = std::string(underline ? "</u>" : "") + (bold ? "</b>" : "") +
                                  (italic ? "</i>" : "") + "</font>";
        set.kinds[c] = {TagPiece(open), TagPiece(close)};
    }
    return set;
}

StyleTagSet styleTags = ComposeStyleTags([] {
    CategoryStyles styles;
    for (std::size_t c = 0; c < kCategoryCount; ++c)
        styles[c] = {kDefaultStyles[c].color, kDefaultStyles[c].switches};
    return styles;
}());

void RebuildStyleTags(const CategoryStyles& styles) {
    styleTags = ComposeStyleTags(styles);
}

}  // namespace lumarix
