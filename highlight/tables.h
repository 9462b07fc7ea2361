// Key word and operator tables of the Delphi lexer, and the tests that
// search them. Every answer equals a linear search of the tables with ASCII
// case folding; the structures behind the tests only make the answers cheap.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumarix {

// Delphi key words, lower case. The first 99 entries are the historical table,
// kept whole (misspellings and repeats included) so that nothing that matched
// before stops matching; the last three complete the language's reserved words.
inline constexpr std::array<std::string_view, 102> KeyWordTable = {
    "function", "begin", "end", "procedure", "var", "const", "string", "for", "if", "while", "do",
    "then", "to", "type", "class", "record", "packed", "protected", "public", "private",
    "published", "exports", "try", "except", "finally", "and", "mod", "shr", "array", "file", "nil",
    "as", "finalization", "not", "stringresource", "asm", "object", "of", "threadvar", "case", "or",
    "goto", "out", "constructor", "implemetation", "unit", "destructor", "in", "program", "until",
    "disinterface", "inherited", "property", "uses", "div", "initialization", "raise", "inline",
    "downto", "interface", "with", "else", "is", "resourcestring", "xor", "label", "set", "library",
    "shl", "absolute", "external", "pascal", "safecall", "abstract", "far", "private", "stdcall",
    "assembler", "forward", "protected", "stored", "automated", "index", "virtual", "cdecl",
    "message", "write", "default", "name", "read", "writeonly", "dispid", "near", "readonly",
    "dynamic", "nodefault", "register", "override", "resident",
    // Reserved words the historical table missed or misspelt.
    "implementation", "dispinterface", "repeat"};

// Operators and delimiters, in search order. Every two-byte entry begins with a
// byte that is an entry by itself, so "an operator begins here" depends only
// on the byte at the position.
inline constexpr std::array<std::string_view, 29> OperatorTable = {
    "(", ")", ";", ":=", "=", "<=", ">=", ">", "<", "<>", ",",  ".", "@",  "$",  "^",
    "+", "-", "*", "/",  "[", "]",  ":",  "'", "{", "(*", "//", " ", "\n", "\"",
};

bool IsKeyWord(std::string_view word) noexcept;

// Byte classes for the scanners. Bytes 128 to 255 are never letters or digits.
enum ByteClass : std::uint8_t {
    kOperatorStart = 1,  // some OperatorTable entry begins with this byte
    kLetterOrDigit = 2,  // A-Z, a-z, 0-9
    kDigit = 4,          // 0-9
    kOpenerStart = 8,    // first byte of "{", "'", "//" or "(*"
};

namespace detail {
constexpr std::array<std::uint8_t, 256> MakeByteClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (std::string_view entry : OperatorTable)
        if (entry.size() == 1) classes[static_cast<unsigned char>(entry[0])] |= kOperatorStart;
    for (int c = '0'; c <= '9'; ++c) classes[c] |= kLetterOrDigit | kDigit;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] |= kLetterOrDigit;
    for (int c = 'a'; c <= 'z'; ++c) classes[c] |= kLetterOrDigit;
    for (unsigned char c : std::string_view("{'/(")) classes[c] |= kOpenerStart;
    return classes;
}

constexpr bool EveryLongOperatorStartsWithShortOne() {
    return std::ranges::all_of(OperatorTable, [](std::string_view entry) {
        return std::ranges::find(OperatorTable, entry.substr(0, 1)) != OperatorTable.end();
    });
}
static_assert(EveryLongOperatorStartsWithShortOne(),
              "the byte-class operator test needs every long operator to start with a short one");
}  // namespace detail

inline constexpr std::array<std::uint8_t, 256> byteClasses = detail::MakeByteClasses();

constexpr bool HasClass(char byte, ByteClass cls) noexcept {
    return (byteClasses[static_cast<unsigned char>(byte)] & cls) != 0;
}

}  // namespace lumarix
