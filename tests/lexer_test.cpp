// The lexer: token texts and kinds for hand-picked blocks, and agreement with
// the reference lexer over generated blocks and real Pascal files.
#include "highlight/lexer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "highlight/token_queue.h"
#include "tests/reference_model.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using K = TokenKind;

using Expected = reference::LexedToken;
using reference::Lex;

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
     {{"x", K::Plain},
      {" := ", K::Operator},
      {"1e", K::Number},
      {"-", K::Operator},
      {"5", K::Number}}},
    {"a [1..10]", {{"a", K::Plain}, {" [", K::Operator}, {"1..10", K::Number}, {"]", K::Operator}}},
    {"x := $FF;", {{"x", K::Plain}, {" := $", K::Operator}, {"FF", K::Plain}, {";", K::Operator}}},
    {"x := $0F;", {{"x", K::Plain}, {" := $", K::Operator}, {"0F", K::Number}, {";", K::Operator}}},
    {".5;", {{".5", K::Number}, {";", K::Operator}}},
    {"x := .5", {{"x", K::Plain}, {" := .", K::Operator}, {"5", K::Number}}},
    // Bytes 128 to 255 are neither letters nor operators.
    {"\xE9t\xE9 := 1", {{"\xE9t\xE9", K::Plain}, {" := ", K::Operator}, {"1", K::Number}}},
    {"begin\xE9", {{"begin\xE9", K::KeyWord}}},  // the core drops the trailing byte
    {"be\xE9gin", {{"be\xE9gin", K::Plain}}},
    {"\xA0"
     "begin;",
     {{"\xA0"
       "begin",
       K::KeyWord},
      {";", K::Operator}}},
    {"x := 1\xB2;",
     {{"x", K::Plain}, {" := ", K::Operator}, {"1\xB2", K::Number}, {";", K::Operator}}},
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
    ASSERT_EQ(tokens, reference::ReferenceLexer(block).Run()) << where;
}

TEST(LexBlock, GeneratedBlocksRebuildAndAgreeWithLiteralSteps) {
    const std::vector<std::string> pieces = {
        "begin", "End", "x",  "1",    "2.5e", ".",      "..", "5",  " ",  "\n", "\r", "\t", ":=",
        "(",     ")",   "(*", "*)",   "*",    "{",      "}",  "//", "/",  "'",  "\"", "$",  "#",
        ";",     "<>",  "&",  "\xE9", "\x80", "repeat", "a1", "_",  "0F", "[",  "]",  "@",  "^"};
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
