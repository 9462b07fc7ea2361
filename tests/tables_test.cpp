// Key word and operator answers against a plain linear search of the tables.
#include "highlight/tables.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarix {
namespace {

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (Fold(a[k]) != Fold(b[k])) return false;
    return true;
}

// The reference: a linear search over the tables.
bool LinearIsKeyWord(std::string_view word) {
    for (std::string_view entry : KeyWordTable)
        if (EqualFolded(word, entry)) return true;
    return false;
}

bool LinearIsOperatorAt(std::string_view text, std::size_t pos) {
    for (std::string_view entry : OperatorTable)
        if (pos <= text.size() && EqualFolded(text.substr(pos, entry.size()), entry)) return true;
    return false;
}

std::string Upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    return s;
}

std::string Capitalised(std::string s) {
    if (!s.empty()) s[0] = Upper(s.substr(0, 1))[0];
    return s;
}

TEST(KeyWords, EveryEntryInThreeLetterCases) {
    for (std::string_view entry : KeyWordTable) {
        const std::string word(entry);
        EXPECT_TRUE(IsKeyWord(word)) << word;
        EXPECT_TRUE(IsKeyWord(Upper(word))) << word;
        EXPECT_TRUE(IsKeyWord(Capitalised(word))) << word;
    }
}

TEST(KeyWords, Answers) {
    struct Case {
        const char* word;
        bool keyWord;
    };
    const Case cases[] = {
        // The reserved words the historical table missed, and its own spellings.
        {"implementation", true},
        {"IMPLEMENTATION", true},
        {"dispinterface", true},
        {"repeat", true},
        {"Repeat", true},
        {"implemetation", true},
        {"disinterface", true},
        {"stringresource", true},
        {"resourcestring", true},
        {"private", true},
        {"protected", true},
        // Near misses: prefixes, suffixes, surrounding bytes.
        {"beginx", false},
        {"begin1", false},
        {"begi", false},
        {"xbegin", false},
        {"begin ", false},
        {"begin\r", false},
        {" begin", false},
        {"", false},
        {"e", false},
        {"implementations", false},
        {"repeats", false},
        {"b\xE9gin", false},
        {"begin\xA0", false},
        {"\xC2"
         "end",
         false},
        {"_end", false},
        {"end_", false},
        {"wh1le", false},
        {"initializationx", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsKeyWord(c.word), c.keyWord) << '"' << c.word << '"';
        EXPECT_EQ(IsKeyWord(c.word), LinearIsKeyWord(c.word)) << '"' << c.word << '"';
    }
}

// Every word of up to three bytes over a small alphabet, and every table entry
// with one byte changed, agree with the linear search.
TEST(KeyWords, AgreeWithLinearSearch) {
    const std::string alphabet = "aAbdeEfinorstO_9\xC1\x80";
    std::vector<std::string> words = {""};
    for (int length = 1; length <= 3; ++length) {
        std::vector<std::string> longer;
        for (const std::string& w : words)
            for (char c : alphabet) longer.push_back(w + c);
        for (const std::string& w : longer) EXPECT_EQ(IsKeyWord(w), LinearIsKeyWord(w)) << w;
        words = std::move(longer);
    }
    for (std::string_view entry : KeyWordTable) {
        for (std::size_t k = 0; k < entry.size(); ++k) {
            for (char c : {'a', 'z', 'Q', '1', '\xE0'}) {
                std::string w(entry);
                w[k] = c;
                EXPECT_EQ(IsKeyWord(w), LinearIsKeyWord(w)) << w;
            }
        }
    }
}

TEST(Operators, EveryByteAgreesWithLinearSearch) {
    for (int b = 0; b < 256; ++b) {
        for (int next : {-1, int('='), int('*'), int('/'), int('>'), int('a')}) {
            std::string text(1, static_cast<char>(b));
            if (next >= 0) text += static_cast<char>(next);
            EXPECT_EQ(HasClass(text[0], kOperatorStart), LinearIsOperatorAt(text, 0))
                << "byte " << b;
        }
    }
}

TEST(Operators, Answers) {
    struct Case {
        char byte;
        bool isOperator;
    };
    const Case cases[] = {
        {' ', true},  {'\n', true}, {'"', true},   {'\'', true},  {'{', true},  {'(', true},
        {'/', true},  {':', true},  {'\t', false}, {'\r', false}, {'}', false}, {'#', false},
        {'!', false}, {'&', false}, {'~', false},  {'_', false},  {'a', false}, {'\xFF', false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HasClass(c.byte, kOperatorStart), c.isOperator) << "byte " << int(c.byte);
}

}  // namespace
}  // namespace lumarix
