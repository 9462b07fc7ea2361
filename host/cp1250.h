// Polish captions are written here in UTF-8 and stored in code page 1250,
// converted at compile time so that the sources stay readable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumarix {

namespace detail {
struct Cp1250Letter {
    char32_t codePoint;
    unsigned char byte;
};

// The Polish letters outside ASCII.
inline constexpr std::array<Cp1250Letter, 18> kPolishLetters = {{
    {U'ą', 0xB9},
    {U'ć', 0xE6},
    {U'ę', 0xEA},
    {U'ł', 0xB3},
    {U'ń', 0xF1},
    {U'ó', 0xF3},
    {U'ś', 0x9C},
    {U'ź', 0x9F},
    {U'ż', 0xBF},
    {U'Ą', 0xA5},
    {U'Ć', 0xC6},
    {U'Ę', 0xCA},
    {U'Ł', 0xA3},
    {U'Ń', 0xD1},
    {U'Ó', 0xD3},
    {U'Ś', 0x8C},
    {U'Ź', 0x8F},
    {U'Ż', 0xAF},
}};

constexpr unsigned char ToCp1250Byte(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    for (const Cp1250Letter& letter : kPolishLetters)
        if (letter.codePoint == cp) return letter.byte;
    throw "letter outside the Polish set";  // fails the constant evaluation
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
