// Polish captions are written here in UTF-8 and stored in code page 1250,
// converted at compile time so that the sources stay readable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumarix {

namespace detail {
// The Polish letters outside ASCII and their code page 1250 bytes, in the same order.
inline constexpr std::u32string_view kPolishLetters = U"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
inline constexpr std::string_view kPolishBytes =
    "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";
static_assert(kPolishLetters.size() == kPolishBytes.size());

constexpr unsigned char ToCp1250Byte(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    const std::size_t at = kPolishLetters.find(cp);
    if (at == std::u32string_view::npos)
        throw "letter outside the Polish set";  // fails the constant evaluation
    return static_cast<unsigned char>(kPolishBytes[at]);
}
}  // namespace detail

// A NUL-terminated code page 1250 text with room for the UTF-8 original.
template <std::size_t N>
struct Cp1250Text {
    std::array<char, N> bytes{};

    consteval explicit Cp1250Text(const char8_t (&utf8)[N]) {
        std::size_t out = 0;
        for (std::size_t k = 0; k + 1 < N;) {
            const auto lead = static_cast<unsigned char>(utf8[k]);
            char32_t cp = lead;
            std::size_t length = 1;
            if (lead >= 0xC0 && lead < 0xE0) {
                cp = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[k + 1]) & 0x3Fu);
                length = 2;
            } else if (lead >= 0x80) {
                throw "only one- and two-byte UTF-8 sequences are expected";
            }
            bytes[out++] = static_cast<char>(detail::ToCp1250Byte(cp));
            k += length;
        }
    }

    constexpr const char* c_str() const noexcept { return bytes.data(); }
};

}  // namespace lumarix
