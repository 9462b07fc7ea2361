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
// - with '<' and '>' taken out of the colours, the block HTML is a well-nested
//   run of the plug-in's own tags, and stripping them and the three entities
//   gives back each block's source;
// - the token queue is empty afterwards, and the last nineteen results are
//   still readable and unchanged.
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
constexpr std::string_view kFontClose = "</font>";

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
        tags.colorTags.push_back("<font color=\"" + s.at(column) + "\">");
    return tags;
}

// Reads one block's HTML at `html` from `pos` (just past kBlockOpen), up to
// the "</font>" that closes the block. Every tag must be one of the plug-in's
// and properly nested; returns the text with the entities turned back.
std::string StripBlock(std::string_view html, std::size_t& pos, const ReferenceTags& tags) {
    std::vector<std::string_view> open = {"font"};
    std::string text;
    while (!open.empty()) {
        Require(pos < html.size(), "block HTML is closed");
        const char c = html[pos];
        if (c == '<') {
            const std::size_t end = html.find('>', pos);
            Require(end != std::string_view::npos, "tag is closed");
            const std::string_view tag = html.substr(pos, end + 1 - pos);
            pos = end + 1;
            if (tag[1] == '/') {
                const std::string_view name = tag.substr(2, tag.size() - 3);
                Require(name == open.back(), "closing tag matches the innermost open tag");
                open.pop_back();
            } else if (tag == "<b>" || tag == "<i>" || tag == "<u>") {
                open.push_back(tag.substr(1, 1));
            } else {
                bool known = false;
                for (const std::string& colorTag : tags.colorTags) known = known || tag == colorTag;
                Require(known, "opening tag is a colour tag of the settings");
                open.push_back("font");
            }
        } else if (c == '&') {
            const std::string_view rest = html.substr(pos);
            if (rest.starts_with("&amp;"))
                text += '&', pos += 5;
            else if (rest.starts_with("&lt;"))
                text += '<', pos += 4;
            else if (rest.starts_with("&gt;"))
                text += '>', pos += 4;
            else
                Require(false, "an '&' in block text starts one of the three entities");
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

Settings WithoutAngleBrackets(Settings s) {
    for (std::uint32_t column = 1000021; column <= 1000025; ++column)
        std::erase_if(s[column], [](char c) { return c == '<' || c == '>'; });
    return s;
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

    const Settings plain = WithoutAngleBrackets(settings);
    ApplySettings(plain);
    const std::string stripped(FormatAndCheck(body));
    CheckStrippedBlocks(stripped, layout, ComposeReferenceTags(plain));
    return 0;
}
