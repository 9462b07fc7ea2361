// The lexer: token texts and kinds for hand-picked blocks, and agreement with
// a literal step-by-step lexer over generated blocks and real Pascal files.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "highlight/lexer.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using K = TokenKind;

struct Expected {
    std::string text;
    TokenKind kind;
    bool operator==(const Expected&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Expected& t) {
    return out << "{\"" << t.text << "\", " << static_cast<int>(t.kind) << "}";
}

// Drains the queue, as the formatter does.
std::vector<Expected> TakeTokens() {
    std::vector<Expected> tokens;
    while (!tokenQueue.Empty()) {
        tokens.push_back({std::string(tokenQueue.Front().text), tokenQueue.Front().kind});
        tokenQueue.PopFront();
    }
    return tokens;
}

std::vector<Expected> Lex(const std::string& block) {
    LexBlock(block);
    return TakeTokens();
}

struct LexCase {
    std::string block;
    std::vector<Expected> tokens;
};

const LexCase kLexCases[] = {
    {"", {}},
    {"x := 1;", {{"x", K::Plain}, {" := ", K::Operator}, {"1", K::Number}, {";", K::Operator}}},
    {"begin", {{"begin", K::KeyWord}}},
    {"BEGIN", {{"BEGIN", K::KeyWord}}},
    {"Begin", {{"Begin", K::KeyWord}}},
    {"beginner", {{"beginner", K::Plain}}},
    {"x := y", {{"x", K::Plain}, {" := ", K::Operator}, {"y", K::Plain}}},
    // Carriage return and tab join words; line feed and space are operators.
    {"end;\r\n", {{"end", K::KeyWord}, {";", K::Operator}, {"\r", K::Plain}, {"\n", K::Operator}}},
    {"\tbegin x", {{"\tbegin", K::KeyWord}, {" ", K::Operator}, {"x", K::Plain}}},
    {"a\r\nb", {{"a\r", K::Plain}, {"\n", K::Operator}, {"b", K::Plain}}},
    // Comments of all three forms, closed and open.
    {"{ comment } x", {{"{ comment }", K::Comment}, {" ", K::Operator}, {"x", K::Plain}}},
    {"{abc", {{"{abc", K::Comment}}},
    {"(*abc", {{"(*abc", K::Comment}}},
    {"(*)", {{"(*)", K::Comment}}},
    {"(**)", {{"(**)", K::Comment}}},
    {"(*a*)b", {{"(*a*)", K::Comment}, {"b", K::Plain}}},
    {"{a{b}c}", {{"{a{b}", K::Comment}, {"c}", K::Plain}}},
    {"a//x\nb", {{"a", K::Plain}, {"", K::Operator}, {"//x\n", K::Comment}, {"b", K::Plain}}},
    {"// a\r\n// b\n", {{"// a\r\n", K::Comment}, {"", K::Operator}, {"// b\n", K::Comment}}},
    {"// open", {{"// open", K::Comment}}},
    // Strings: no escapes; touching strings are split by an empty operator.
    {"x{c}", {{"x", K::Plain}, {"", K::Operator}, {"{c}", K::Comment}}},
    {"'it''s'", {{"'it'", K::String}, {"", K::Operator}, {"'s'", K::String}}},
    {"x:='a'", {{"x", K::Plain}, {":=", K::Operator}, {"'a'", K::String}}},
    {"x := 'a", {{"x", K::Plain}, {" := ", K::Operator}, {"'a", K::String}}},
    {"'a\nb'", {{"'a\nb'", K::String}}},
    {"\"abc\"", {{"\"abc", K::Plain}, {"\"", K::Operator}}},
    // An operator at the very start is not split off.
    {"(a)", {{"(a", K::Plain}, {")", K::Operator}}},
    {" begin", {{" begin", K::KeyWord}}},
    {"{a}", {{"{a}", K::Comment}}},
    // Numbers only behind an operator run (or at the first byte when an
    // operator stands there).
    {"a[10]", {{"a", K::Plain}, {"[", K::Operator}, {"10", K::Number}, {"]", K::Operator}}},
    {"x1", {{"x1", K::Plain}}},
    {"5;", {{"5", K::Plain}, {";", K::Operator}}},
    {"1+2", {{"1", K::Plain}, {"+", K::Operator}, {"2", K::Number}}},
    {"x := 1.5e3", {{"x", K::Plain}, {" := ", K::Operator}, {"1.5e3", K::Number}}},
    {"x := 1e-5",
     {{"x", K::Plain}, {" := ", K::Operator}, {"1e", K::Number}, {"-", K::Operator}, {"5", K::Number}}},
    {"a [1..10]", {{"a", K::Plain}, {" [", K::Operator}, {"1..10", K::Number}, {"]", K::Operator}}},
    {"x := $FF;", {{"x", K::Plain}, {" := $", K::Operator}, {"FF", K::Plain}, {";", K::Operator}}},
    {"x := $0F;", {{"x", K::Plain}, {" := $", K::Operator}, {"0F", K::Number}, {";", K::Operator}}},
    {".5;", {{".5", K::Number}, {";", K::Operator}}},
    {"x := .5", {{"x", K::Plain}, {" := .", K::Operator}, {"5", K::Number}}},
    // Bytes 128 to 255 are neither letters nor operators.
    {"\xE9t\xE9 := 1", {{"\xE9t\xE9", K::Plain}, {" := ", K::Operator}, {"1", K::Number}}},
    {"begin\xE9", {{"begin\xE9", K::KeyWord}}},  // the core drops the trailing byte
    {"be\xE9gin", {{"be\xE9gin", K::Plain}}},
    {"\xA0" "begin;", {{"\xA0" "begin", K::KeyWord}, {";", K::Operator}}},
    {"x := 1\xB2;", {{"x", K::Plain}, {" := ", K::Operator}, {"1\xB2", K::Number}, {";", K::Operator}}},
    // The added reserved words.
    {"repeat until", {{"repeat", K::KeyWord}, {" ", K::Operator}, {"until", K::KeyWord}}},
    {"implementation\n", {{"implementation", K::KeyWord}, {"\n", K::Operator}}},
};

TEST(LexBlock, TokensOfHandPickedBlocks) {
    for (const LexCase& c : kLexCases) EXPECT_EQ(Lex(c.block), c.tokens) << "block: " << c.block;
}

TEST(LexBlock, EmptiesLeftoverTokensFirst) {
    LexBlock("a b c d e f");  // left in the queue, as after a cut-short block
    EXPECT_EQ(Lex("x"), (std::vector<Expected>{{"x", K::Plain}}));
}

// The lexing steps written out literally over the table searches: scan,
// split off operator runs, try the six rows, emit words by their core.
std::vector<Expected> LexLiterally(const std::string& t) {
    std::vector<Expected> out;
    const std::size_t n = t.size();
    std::size_t i = 0, w = 0;
    auto isAlnum = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    auto emitWord = [&](std::size_t end) {
        std::string u = t.substr(w, end - w);
        std::size_t b = 0, e = u.size();
        while (b < e && !isAlnum(u[b])) ++b;
        while (e > b && !isAlnum(u[e - 1])) --e;
        out.push_back({u, IsKeyWord(u.substr(b, e - b)) ? K::KeyWord : K::Plain});
    };
    auto opener = [&](std::size_t p) {
        return t[p] == '{' || t[p] == '\'' || t.compare(p, 2, "//") == 0 ||
               t.compare(p, 2, "(*") == 0;
    };
    auto pastNext = [&](const std::string& s, std::size_t from) {
        const std::size_t at = t.find(s, from);
        return at == std::string::npos ? n : at + s.size();
    };
    while (i < n) {
        if (!IsOperatorAt(t, i)) {
            ++i;
            continue;
        }
        if (i > 0) {
            if (w < i) emitWord(i), w = i;
            while (IsOperatorAt(t, i) && !opener(i)) ++i;
            out.push_back({t.substr(w, i - w), K::Operator});
            w = i;
        }
        if (i == n) break;
        std::size_t e = 0;
        K kind = K::Plain;
        if (t[i] == '\'') e = pastNext("'", i + 1), kind = K::String;
        else if (t[i] == '{') e = pastNext("}", i + 1), kind = K::Comment;
        else if (IsTextAt(t, i, "(*")) e = pastNext("*)", i + 1), kind = K::Comment;
        else if (IsTextAt(t, i, "//")) e = pastNext("\n", i + 2), kind = K::Comment;
        else if (t[i] >= '0' && t[i] <= '9') {
            e = i + 1;
            while (e < n && !(IsOperatorAt(t, e) && t[e] != '.')) ++e;
            kind = K::Number;
        } else if (t[i] == '.' && i + 1 < n && t[i + 1] >= '0' && t[i + 1] <= '9') {
            e = i + 1;
            while (e < n && !IsOperatorAt(t, e)) ++e;
            kind = K::Number;
        }
        if (e == 0) {
            ++i;
            continue;
        }
        out.push_back({t.substr(i, e - i), kind});
        w = i = e;
    }
    if (w < n) emitWord(n);
    return out;
}

void ExpectSoundTokens(const std::string& block, const std::string& where) {
    const std::vector<Expected> tokens = Lex(block);
    std::string joined;
    for (const Expected& t : tokens) {
        joined += t.text;
        EXPECT_LE(static_cast<int>(t.kind), 5) << where;
        if (t.kind != K::Operator) {
            EXPECT_FALSE(t.text.empty()) << where;
        }
    }
    ASSERT_EQ(joined, block) << where;
    ASSERT_EQ(tokens, LexLiterally(block)) << where;
}

TEST(LexBlock, GeneratedBlocksRebuildAndAgreeWithLiteralSteps) {
    const std::vector<std::string> pieces = {
        "begin", "End", "x", "1", "2.5e", ".", "..", "5", " ", "\n", "\r", "\t", ":=", "(", ")",
        "(*", "*)", "*", "{", "}", "//", "/", "'", "\"", "$", "#", ";", "<>", "&", "\xE9", "\x80",
        "repeat", "a1", "_", "0F", "[", "]", "@", "^"};
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string block;
        const int count = static_cast<int>(random() % 12);
        for (int k = 0; k < count; ++k) block += pieces[random() % pieces.size()];
        ExpectSoundTokens(block, "generated block #" + std::to_string(round));
    }
}

TEST(LexBlock, RealPascalFilesRebuildAndAgreeWithLiteralSteps) {
    const auto files = testing::PascalSourceFiles(150);
    if (files.empty()) GTEST_SKIP() << "fpc-source is not installed";
    for (const std::string& path : files) ExpectSoundTokens(testing::ReadFile(path), path);
}

}  // namespace
}  // namespace lumarix
