// Any settings and any body through the block formatter.
//
// Input: 15 switch selectors (one byte each, for columns 1000031..1000045),
// five colours (a length byte, then the bytes; columns 1000021..1000025), an
// amplifier byte, then the body. NUL bytes are dropped, as host texts cannot
// carry them. An amplifier of 0xFC or more makes the body one block that
// repeats the rest of the input to 2 to 8 KiB, so that blocks of thousands of
// tokens, which the formatter lexes and writes a window at a time, are
// reached too (rarely, as they are slow to check).
//
// Checked for every input:
// - a body without both markers comes back as the same pointer, the ring untouched;
// - otherwise the result equals, byte for byte, the blocks found by the
//   marker search rendered token by token with tags composed from the settings
//   here (not from the module's tag set), with the text around them unchanged;
// - whatever the colours hold, the block HTML is a well-nested run of the
//   plug-in's own tags, no attribute value holds a '"' or a '<', and
//   stripping the tags and turning the entities back gives each block's source;
// - the output is final: handed back under other settings, it passes unchanged;
// - the token queue is empty afterwards, and the last nineteen results are
//   still readable and unchanged.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "highlight/formatter.h"
#include "highlight/style_tags.h"
#include "highlight/token_queue.h"
#include "host/settings_columns.h"
#include "tests/reference_model.h"

namespace lumarix::fuzz {
namespace {

using reference::Block;
using reference::FindBlocks;
using reference::kBlockOpen;
using reference::Layout;
using reference::Settings;

// Switch texts a user or a broken store might hold; only "1" is on.
constexpr std::array<std::string_view, 8> kSwitchTexts = {"1",  "0",  "",     "01",
                                                          " 1", "1 ", "true", "1"};

// Fifteen switch texts for columns 1000031..1000045, then five colours for
// 1000021..1000025.
Settings TakeSettings(InputReader& input) {
    Settings s;
    for (std::uint32_t column = 1000031; column <= 1000045; ++column)
        s[column] = kSwitchTexts[input.TakeByte() % kSwitchTexts.size()];
    for (std::uint32_t column = 1000021; column <= 1000025; ++column)
        s[column] = WithoutNul(input.TakeShortText());
    return s;
}

void ApplySettings(const Settings& s) {
    RebuildStyleTags(ReadCategoryStyles([&s](std::uint32_t column) -> std::string_view {
        const auto found = s.find(column);
        return found == s.end() ? std::string_view() : std::string_view(found->second);
    }));
}

// What each token kind is wrapped in, composed by the reference from the
// settings (not from the module's tag set), and the colour tags it may meet.
struct ReferenceTags {
    reference::KindTags kinds;
    std::vector<std::string> colorTags;
};

ReferenceTags ComposeReferenceTags(const Settings& s) {
    ReferenceTags tags{reference::TagsOf(reference::StylesOf(s)), {}};
    for (std::uint32_t column = 1000021; column <= 1000025; ++column)
        tags.colorTags.push_back("<font color=\"" + reference::EscapeHtml(s.at(column), true) +
                                 "\">");
    return tags;
}

// Reads the opening tag at `html` from `pos`, which holds a '<', and checks
// that an attribute value in it ends only where the tag ends.
std::string_view ReadOpeningTag(std::string_view html, std::size_t& pos) {
    const std::size_t start = pos;
    constexpr std::string_view kColorAttribute = "<font color=\"";
    if (html.substr(pos).starts_with(kColorAttribute)) {
        const std::size_t quote = html.find('"', pos + kColorAttribute.size());
        Require(quote != std::string_view::npos, "an attribute value is closed");
        const std::string_view value =
            html.substr(pos + kColorAttribute.size(), quote - pos - kColorAttribute.size());
        Require(value.find('<') == std::string_view::npos, "no '<' in an attribute value");
        Require(html.substr(quote + 1).starts_with(">"), "the tag ends where its value ends");
        pos = quote + 1;
    }
    const std::size_t end = html.find('>', pos);
    Require(end != std::string_view::npos, "tag is closed");
    pos = end + 1;
    return html.substr(start, pos - start);
}

// Reads one block's HTML at `html` from `pos` (just past kBlockOpen), up to
// the "</font>" that closes the block. Every tag must be one of the plug-in's
// and properly nested; returns the text with the entities turned back.
std::string StripBlock(std::string_view html, std::size_t& pos, const ReferenceTags& tags) {
    static constexpr std::array<std::pair<std::string_view, char>, 4> kEntities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&#91;", '['}}};
    std::vector<std::string_view> open = {"font"};
    std::string text;
    while (!open.empty()) {
        Require(pos < html.size(), "block HTML is closed");
        const char c = html[pos];
        if (html.substr(pos).starts_with("</")) {
            const std::size_t end = html.find('>', pos);
            Require(end != std::string_view::npos, "tag is closed");
            Require(html.substr(pos + 2, end - pos - 2) == open.back(),
                    "closing tag matches the innermost open tag");
            open.pop_back();
            pos = end + 1;
        } else if (c == '<') {
            const std::string_view tag = ReadOpeningTag(html, pos);
            if (tag == "<b>" || tag == "<i>" || tag == "<u>") {
                open.push_back(tag.substr(1, 1));
            } else {
                bool known = false;
                for (const std::string& colorTag : tags.colorTags) known = known || tag == colorTag;
                Require(known, "opening tag is a colour tag of the settings");
                open.push_back("font");
            }
        } else if (c == '&') {
            const auto entity = std::find_if(kEntities.begin(), kEntities.end(), [&](auto& e) {
                return html.substr(pos).starts_with(e.first);
            });
            Require(entity != kEntities.end(),
                    "an '&' in block text starts an entity of the plug-in");
            text += entity->second;
            pos += entity->first.size();
        } else {
            Require(c != '>', "no bare '>' in block text");
            text += c;
            ++pos;
        }
    }
    return text;
}

void CheckStrippedBlocks(std::string_view result, const Layout& layout, const ReferenceTags& tags) {
    std::size_t pos = 0;
    for (const Block& block : layout.blocks) {
        Require(result.substr(pos).starts_with(block.before), "text between blocks unchanged");
        pos += block.before.size();
        Require(result.substr(pos).starts_with(kBlockOpen), "block opens with the wrapper");
        pos += kBlockOpen.size();
        Require(StripBlock(result, pos, tags) == block.inner,
                "stripped block gives back its source");
    }
    Require(result.substr(pos) == layout.tail, "text after the last block unchanged");
}

// Results handed out earlier, with what they read when handed out.
std::deque<std::pair<const char*, std::string>> recentResults;

void CheckRecentResults() {
    for (const auto& [text, expected] : recentResults)
        Require(expected == text, "each of the last nineteen results is unchanged");
}

// Runs FormatBody and checks the pass-through and ring rules; returns the result.
std::string_view FormatAndCheck(const std::string& body) {
    const char* result = FormatBody(body.c_str());
    Require(tokenQueue.Empty(), "token queue is empty after a body");
    const bool bothMarkers =
        body.find(kOpenMarker) != std::string::npos && body.find(kCloseMarker) != std::string::npos;
    if (!bothMarkers) {
        Require(result == body.c_str(), "a body without both markers comes back as itself");
        return result;
    }
    Require(result != body.c_str(), "a rewritten body is held by the ring");
    for (const auto& [text, expected] : recentResults)
        Require(text != result, "each rewritten body takes a slot of its own");
    CheckRecentResults();
    recentResults.emplace_back(result, result);
    if (recentResults.size() > ResultRing::kSlots - 1) recentResults.pop_front();
    return result;
}

std::string TakeBody(InputReader& input) {
    const std::uint8_t amplifier = input.TakeByte();
    std::string rest = WithoutNul(input.TakeRest());
    if (amplifier < 0xFC || rest.empty()) return rest;
    const std::size_t target = std::size_t{amplifier - 0xFBu} * 2048;
    std::string inner;
    while (inner.size() < target) inner += rest;
    return std::string(kOpenMarker) + inner + std::string(kCloseMarker);
}

}  // namespace
}  // namespace lumarix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumarix;
    using namespace lumarix::fuzz;
    InputReader input(data, size);
    const Settings settings = TakeSettings(input);
    const std::string body = TakeBody(input);
    const Layout layout = FindBlocks(body);

    ApplySettings(settings);
    const std::string result(FormatAndCheck(body));
    Require(result == reference::RenderBody(body, ComposeReferenceTags(settings).kinds),
            "result equals the reference rendering");
    CheckStrippedBlocks(result, layout, ComposeReferenceTags(settings));

    ApplySettings(reference::SettingsOf(reference::kDefaultStyles));
    Require(FormatAndCheck(result) == result, "a result handed back passes unchanged");
    return 0;
}
