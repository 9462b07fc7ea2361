// How text is written into the HTML the formatter makes. A marker is never
// written as it is, so that a result handed back as a body holds no block to
// rewrite again: the output is final.
#pragma once

#include <cstddef>
#include <string_view>

namespace lumarix {

inline constexpr std::string_view kOpenMarker = "[delphi]";
inline constexpr std::string_view kCloseMarker = "[/delphi]";

constexpr bool StartsWithMarker(std::string_view text) noexcept {
    return text.starts_with(kOpenMarker) || text.starts_with(kCloseMarker);
}

// What the byte at text[k] is written as; empty when it is written as it is.
// "&", "<" and ">" become entities, and so does '"' in an attribute value; the
// "[" that opens a marker becomes "&#91;", which the chat window shows as "[".
constexpr std::string_view EntityAt(std::string_view text, std::size_t k,
                                    bool inAttribute) noexcept {
    switch (text[k]) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return inAttribute ? "&quot;" : "";
        case '[':
            return StartsWithMarker(text.substr(k)) ? "&#91;" : "";
        default:
            return {};
    }
}

}  // namespace lumarix
