// Any bytes as the inner text of one block. The tokens must rebuild the text
// exactly, only Operator tokens may be empty, every kind is one of the six,
// and the token list must equal that of a literal transcription of the
// lexing steps over plain linear table searches. Lexed a few tokens at a time,
// as the formatter lexes large blocks, the block must give the same tokens,
// each window tiling the block up to where the lexer says it stands.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "highlight/lexer.h"
#include "highlight/token_queue.h"
#include "tests/reference_model.h"

namespace lumarix::fuzz {
namespace {

using reference::DrainQueue;
using reference::LexedToken;

// Lexes `block` in windows of `window` tokens, draining the queue after each.
std::vector<LexedToken> LexInWindows(std::string_view block, std::size_t window) {
    BlockLexer lexer(block);
    std::vector<LexedToken> tokens;
    std::size_t tiled = 0;
    for (bool more = true; more;) {
        more = lexer.LexMore(window);
        const std::vector<LexedToken> got = DrainQueue();
        // A step of the scan appends up to three tokens.
        Require(got.size() <= window + 2, "a window holds at most two tokens over its count");
        Require(!more || got.size() >= window, "a window short of its count ends the block");
        std::string span;
        for (const LexedToken& token : got) span += token.text;
        Require(lexer.LexedEnd() >= tiled && span == block.substr(tiled, lexer.LexedEnd() - tiled),
                "a window's tokens tile the block up to the lexed end");
        tiled = lexer.LexedEnd();
        tokens.insert(tokens.end(), got.begin(), got.end());
    }
    Require(tiled == block.size(), "the windows cover the block");
    Require(!lexer.LexMore(window) && tokenQueue.Empty(), "a finished lexer appends nothing");
    return tokens;
}

}  // namespace
}  // namespace lumarix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumarix;
    using lumarix::fuzz::Require;
    const std::string_view block(reinterpret_cast<const char*>(data), size);

    // Leftovers of a cut-short block must not survive into the next one.
    tokenQueue.Append(Token{"leftover", TokenKind::Plain});
    LexBlock(block);
    const std::vector<reference::LexedToken> tokens = reference::DrainQueue();

    std::string rebuilt;
    for (const reference::LexedToken& token : tokens) {
        Require(static_cast<std::uint32_t>(token.kind) < kTokenKindCount, "token kind is 0..5");
        Require(!token.text.empty() || token.kind == TokenKind::Operator,
                "only Operator tokens may be empty");
        rebuilt += token.text;
    }
    Require(rebuilt == block, "token texts rebuild the block exactly");
    Require(tokens == reference::ReferenceLexer(block).Run(),
            "tokens equal the literal lexing steps");

    // Window sizes from the block's length, so that each input tries another.
    const std::size_t window = 1 + size % 5;
    Require(fuzz::LexInWindows(block, 1) == tokens, "one token at a time: same tokens");
    Require(fuzz::LexInWindows(block, window) == tokens, "windows: same tokens");
    return 0;
}
