// The block formatter and the style tags, in-process: exact output bytes.
#include "highlight/formatter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "highlight/style_tags.h"
#include "highlight/token_queue.h"
#include "host/settings_columns.h"
#include "tests/reference_model.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using reference::kBlockOpen;
using reference::Settings;

Settings DefaultSettings() {
    return reference::SettingsOf(reference::kDefaultStyles);
}

void Rebuild(const Settings& settings, std::vector<std::uint32_t>* reads = nullptr) {
    RebuildStyleTags(ReadCategoryStyles([&](std::uint32_t column) -> std::string_view {
        if (reads) reads->push_back(column);
        const auto it = settings.find(column);
        return it == settings.end() ? std::string_view() : std::string_view(it->second);
    }));
}

std::string Format(const std::string& body) {
    return FormatBody(body.c_str());
}

const std::string kOpen(kBlockOpen);

class FormatterTest : public ::testing::Test {
  protected:
    void SetUp() override { Rebuild(DefaultSettings()); }
};

TEST_F(FormatterTest, WorkedExample) {
    EXPECT_EQ(Format(reference::kWorkedExample), reference::kWorkedExampleHtml);
    EXPECT_TRUE(tokenQueue.Empty());
}

TEST_F(FormatterTest, BodiesWithoutBothMarkersComeBackAsTheSamePointer) {
    // A result stored before the pass-throughs outlives eighteen stored
    // successors and all of them only if none of them took a slot.
    const char* kept = FormatBody("[delphi]kept[/delphi]");
    const std::string keptText = kept;
    for (int k = 0; k < 18; ++k)
        FormatBody(("[delphi]next " + std::to_string(k) + "[/delphi]").c_str());
    for (const char* body : {"", "plain text", "[delphi] only", "only [/delphi]",
                             "[Delphi]x[/delphi]", "[DELPHI]x[/DELPHI]", "[delphi x [/delphi"}) {
        EXPECT_EQ(FormatBody(body), body) << body;
    }
    FormatBody("[delphi]last[/delphi]");
    EXPECT_EQ(std::string(kept), keptText);
}

struct BodyCase {
    const char* name;
    std::string body;
    std::string expected;
};

const std::string kEmptyBlock = std::string(kOpen) + "</font>";
const std::string kOpX = "<font color=\"#840000\"><b>";
const std::string kOpEnd = "</b></font>";

const BodyCase kBodyCases[] = {
    {"empty block", "a[delphi][/delphi]b", "a" + kEmptyBlock + "b"},
    {"two blocks keep the text between them", "1 [delphi]x[/delphi] mid\r\n [delphi][/delphi] 2",
     "1 " + std::string(kOpen) + "x</font> mid\r\n " + kEmptyBlock + " 2"},
    {"closing marker before the opening one is ordinary text", "[/delphi] a [delphi]x[/delphi]",
     "[/delphi] a " + std::string(kOpen) + "x</font>"},
    {"reversed markers only: nothing to rewrite", "[/delphi] a [delphi] b",
     "[/delphi] a [delphi] b"},
    {"an unclosed marker and all behind it stay", "[delphi]x[/delphi] [delphi] y",
     std::string(kOpen) + "x</font> [delphi] y"},
    {"nested opening marker is block text", "[delphi]a[delphi]b[/delphi]c[/delphi]",
     std::string(kOpen) + "a" + kOpX + "[" + kOpEnd + "delphi" + kOpX + "]" + kOpEnd +
         "b</font>c[/delphi]"},
    {"a marker inside a token is written with &#91;, so the result is final",
     "[delphi]x{[delphi]}[/delphi]",
     std::string(kOpen) + "x" + kOpX + kOpEnd +
         "<font color=\"#000080\"><i>{&#91;delphi]}</i></font></font>"},
    {"markers in a comment and a string; other brackets stay",
     "[delphi]{[delphi]}'[Delphi] a[1] [ [delphi]'[/delphi]x[/delphi]",
     std::string(kOpen) + "<font color=\"#000080\"><i>{&#91;delphi]}</i></font>" + kOpX + kOpEnd +
         "<font color=\"#0000FF\">'[Delphi] a[1] [ &#91;delphi]'</font></font>x[/delphi]"},
    {"a marker at the very end of a block", "[delphi]// [delphi][/delphi] [delphi]",
     std::string(kOpen) + "<font color=\"#000080\"><i>// &#91;delphi]</i></font></font> [delphi]"},
    {"markers overlapping: the closing marker must follow the opening one", "[delphi[/delphi]]",
     "[delphi[/delphi]]"},
    {"code is shown as code: &, < and > become entities", "<p>[delphi]a<>b&'<b>'[/delphi]</p>",
     "<p>" + std::string(kOpen) + "a" + kOpX + "&lt;&gt;" + kOpEnd + "b&amp;" + kOpX + kOpEnd +
         "<font color=\"#0000FF\">'&lt;b&gt;'</font></font></p>"},
    {"empty operator tokens still get their tags", "[delphi]x{c}[/delphi]",
     std::string(kOpen) + "x" + kOpX + kOpEnd + "<font color=\"#000080\"><i>{c}</i></font></font>"},
};

TEST_F(FormatterTest, Bodies) {
    for (const BodyCase& c : kBodyCases) {
        const std::string once = Format(c.body);
        EXPECT_EQ(once, c.expected) << c.name;
        EXPECT_EQ(Format(once), once) << c.name << ": handed back, the result passes unchanged";
    }
}

// What one Number token "1" becomes for each combination of its switches.
TEST_F(FormatterTest, EverySwitchCombination) {
    struct Combination {
        bool bold, italic, underline;
        const char* written;
    };
    const Combination combinations[] = {
        {false, false, false, "<font color=\"C\">1</font>"},
        {true, false, false, "<font color=\"C\"><b>1</b></font>"},
        {false, true, false, "<font color=\"C\"><i>1</i></font>"},
        {false, false, true, "<font color=\"C\"><u>1</u></font>"},
        {true, true, false, "<font color=\"C\"><i><b>1</b></i></font>"},
        {true, false, true, "<font color=\"C\"><b><u>1</u></b></font>"},
        {false, true, true, "<font color=\"C\"><i><u>1</u></i></font>"},
        {true, true, true, "<font color=\"C\"><i><b><u>1</u></b></i></font>"},
    };
    for (const Combination& c : combinations) {
        auto settings = DefaultSettings();
        settings[1000023] = "C";
        settings[1000037] = c.bold ? "1" : "0";  // Numbers: Bold, Italic, Underline
        settings[1000038] = c.italic ? "1" : "0";
        settings[1000039] = c.underline ? "1" : "0";
        settings[1000024] = "O";
        settings[1000034] = "0";
        Rebuild(settings);
        EXPECT_EQ(Format("[delphi]x;1[/delphi]"),
                  std::string(kOpen) + "x<font color=\"O\">;</font>" + c.written + "</font>")
            << c.written;
    }
}

// Pieces of every length from 0 to 40 bytes, as token texts and as colours,
// land whole and in order.
TEST_F(FormatterTest, PiecesOfEveryLength) {
    for (std::size_t length = 0; length <= 40; ++length) {
        auto settings = DefaultSettings();
        const std::string colour(length, 'c');
        const std::string word(length + 1, 'w');  // a block must not start with an operator
        settings[1000025] = colour;               // Strings
        Rebuild(settings);
        const std::string string = "'" + word + "'";
        EXPECT_EQ(Format("[delphi]" + word + ":=" + string + "[/delphi]"),
                  std::string(kOpen) + word + kOpX + ":=" + kOpEnd + "<font color=\"" + colour +
                      "\">" + string + "</font></font>")
            << length;
    }
}

TEST_F(FormatterTest, SwitchIsOnOnlyForTheTextOne) {
    for (const char* text : {"1", "0", "", "01", " 1", "1 ", "10", "true"}) {
        auto settings = DefaultSettings();
        settings[1000043] = text;  // Key_words bold
        Rebuild(settings);
        const bool on = std::string(text) == "1";
        const TokenTags& tags = styleTags[Category::Key_words];
        EXPECT_EQ(tags.open.View(), on ? "<font color=\"#000000\"><b>" : "<font color=\"#000000\">")
            << '"' << text << '"';
        EXPECT_EQ(tags.close.View(), on ? "</b></font>" : "</font>") << '"' << text << '"';
    }
}

// A colour is written as typed, but no byte of it can end the attribute or
// the tag early, or open a block.
TEST_F(FormatterTest, ColoursAreEscapedAndOtherwiseWrittenAsTyped) {
    struct ColourCase {
        const char* colour;
        const char* written;
    };
    const ColourCase cases[] = {
        {"red", "red"},
        {"", ""},
        {"#abc", "#abc"},
        {"rgb(1,2,3)", "rgb(1,2,3)"},
        {"#00AA00\">", "#00AA00&quot;&gt;"},
        {"a<b&c'd", "a&lt;b&amp;c'd"},
        {"[delphi]1[/delphi] [x]", "&#91;delphi]1&#91;/delphi] [x]"},
    };
    for (const ColourCase& c : cases) {
        auto settings = DefaultSettings();
        settings[1000023] = c.colour;  // Numbers
        Rebuild(settings);
        EXPECT_EQ(styleTags[Category::Numbers].open.View(),
                  std::string("<font color=\"") + c.written + "\">")
            << c.colour;
        EXPECT_EQ(Format("[delphi]x;2[/delphi]"), std::string(kOpen) + "x" + kOpX + ";" + kOpEnd +
                                                      "<font color=\"" + c.written +
                                                      "\">2</font></font>")
            << c.colour;
    }
}

TEST_F(FormatterTest, RebuildReadsSwitchesThenColours) {
    std::vector<std::uint32_t> reads;
    Rebuild(DefaultSettings(), &reads);
    std::vector<std::uint32_t> expected;
    for (std::uint32_t c = 1000031; c <= 1000045; ++c) expected.push_back(c);
    for (std::uint32_t c : {1000025u, 1000023u, 1000021u, 1000022u, 1000024u})
        expected.push_back(c);
    EXPECT_EQ(reads, expected);
}

TEST_F(FormatterTest, DefaultStyleTags) {
    struct Row {
        Category category;
        const char* open;
        const char* close;
    };
    const Row rows[] = {
        {Category::Comments, "<font color=\"#000080\"><i>", "</i></font>"},
        {Category::Key_words, "<font color=\"#000000\"><b>", "</b></font>"},
        {Category::Strings, "<font color=\"#0000FF\">", "</font>"},
        {Category::Numbers, "<font color=\"#FF0000\">", "</font>"},
        {Category::Operators, "<font color=\"#840000\"><b>", "</b></font>"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(styleTags[r.category].open.View(), r.open);
        EXPECT_EQ(styleTags[r.category].close.View(), r.close);
    }
    EXPECT_EQ(styleTags.kinds[static_cast<std::size_t>(TokenKind::Plain)].open.Size(), 0u);
    EXPECT_EQ(styleTags.kinds[static_cast<std::size_t>(TokenKind::Plain)].close.Size(), 0u);
}

// The formatting written out plainly from the whole block's tokens: the
// formatter, which lexes and writes large blocks a window at a time, must give
// the same bytes.
TEST_F(FormatterTest, LargeBlocksMatchThePlainRendering) {
    auto settings = DefaultSettings();
    settings[1000039] = "1";  // Numbers underlined
    settings[1000032] = "1";  // Strings italic
    Rebuild(settings);
    const reference::KindTags tags = reference::TagsOf(reference::StylesOf(settings));
    const auto files = testing::PascalSourceFiles(40);
    if (files.empty()) GTEST_SKIP() << "fpc-source is not installed";
    std::string block;
    for (const std::string& path : files) {
        std::string source = testing::ReadFile(path);
        if (source.find("[/delphi]") != std::string::npos) continue;
        block += source;
        if (block.size() > (1u << 20)) break;
    }
    block.erase(std::remove(block.begin(), block.end(), '\0'), block.end());
    ASSERT_GT(block.size(), 200000u);  // thousands of tokens: many windows
    for (const std::size_t size : {block.size(), block.size() / 3, std::size_t(4099)}) {
        const std::string part = block.substr(0, size);
        EXPECT_EQ(Format("<" + std::string("[delphi]") + part + "[/delphi]>"),
                  "<" + reference::RenderBlock(part, tags) + ">")
            << size;
    }
}

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t k = 0; k < times; ++k) text += piece;
    return text;
}

// The output takes its room as projected from a block's first window; a block
// unlike its first window outgrows that room or leaves most of it unwritten,
// and a later block projects again from where the output stands.
TEST_F(FormatterTest, BlocksUnlikeTheirFirstWindowMatchThePlainRendering) {
    const std::string words = Repeat("plain words ", 4000);  // no tags: a byte per byte
    const std::string specials = Repeat("a<&>", 40000);      // tags and entities on every byte
    const reference::KindTags tags = reference::TagsOf(reference::kDefaultStyles);
    const std::vector<std::string> cases[] = {
        {words + specials}, {specials + words}, {words, specials}, {specials, words}};
    for (const auto& blocks : cases) {
        std::string body, expected;
        for (const std::string& block : blocks) {
            body += "text [delphi]" + block + "[/delphi]";
            expected += "text " + reference::RenderBlock(block, tags);
        }
        EXPECT_EQ(Format(body), expected) << body.size() << " bytes in " << blocks.size();
    }
}

TEST_F(FormatterTest, ResultStaysValidForTheNextNineteen) {
    const char* first = FormatBody("[delphi]first[/delphi]");
    const std::string firstText = first;
    for (int k = 0; k < 19; ++k) {
        FormatBody(("[delphi]next " + std::to_string(k) + "[/delphi]").c_str());
        ASSERT_EQ(std::string(first), firstText) << "after " << k + 1 << " more";
    }
}

TEST_F(FormatterTest, RingStoresEveryRewrittenResultInItsOwnSlot) {
    const char* body = "[/delphi] no block [delphi]";
    std::vector<const char*> results;
    for (int k = 0; k < 45; ++k) {
        results.push_back(FormatBody(body));
        ASSERT_NE(results.back(), body);
        ASSERT_STREQ(results.back(), body);
    }
    // Any twenty results in a row were stored in twenty different slots.
    for (std::size_t k = 0; k + ResultRing::kSlots <= results.size(); ++k) {
        std::vector<const char*> window(results.begin() + k,
                                        results.begin() + k + ResultRing::kSlots);
        std::sort(window.begin(), window.end());
        EXPECT_EQ(std::adjacent_find(window.begin(), window.end()), window.end()) << k;
    }
}

}  // namespace
}  // namespace lumarix
