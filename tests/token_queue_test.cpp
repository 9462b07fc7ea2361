// The token queue as the formatter uses it: filled and drained a window at a
// time, over many of the deque's blocks, with its blocks kept for reuse.
#include "highlight/token_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace lumarix {
namespace {

TEST(NodePool, HandsBackTheBlocksItWasGiven) {
    NodePool pool;
    void* first = pool.Take(504);
    void* second = pool.Take(504);
    pool.Give(first, 504);
    pool.Give(second, 504);
    // Last given, first taken: the block most likely still in the cache.
    EXPECT_EQ(pool.Take(504), second);
    EXPECT_EQ(pool.Take(504), first);
    void* fresh = pool.Take(504);
    EXPECT_NE(fresh, first);
    EXPECT_NE(fresh, second);
    for (void* block : {first, second, fresh}) pool.Give(block, 504);
    pool.Release();  // the sanitizer build reports any block lost on the way
}

// Windows of every size around the deque's block size, drained with DrainEach
// or token by token: every token comes back once, in order, with its kind
// counted while it is queued.
TEST(TokenQueue, WindowsDrainInOrderAcrossBlocks) {
    const std::string text(5000, 'x');
    for (const std::size_t window : {1, 20, 21, 22, 500, 2048}) {
        for (const bool byToken : {false, true}) {
            tokenQueue.StartBorrowedBlock(text);
            std::size_t appended = 0;
            std::size_t drained = 0;
            for (int round = 0; round < 3; ++round) {
                std::array<std::size_t, kTokenKindCount> kinds{};
                for (std::size_t k = 0; k < window; ++k, ++appended) {
                    const auto kind = static_cast<TokenKind>(appended % kTokenKindCount);
                    tokenQueue.Append(
                        Token{std::string_view(text).substr(appended % 4000, 1 + k % 7), kind});
                    ++kinds[static_cast<std::size_t>(kind)];
                }
                EXPECT_EQ(tokenQueue.Count(), window);
                for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
                    EXPECT_EQ(tokenQueue.CountOf(static_cast<TokenKind>(kind)), kinds[kind]);
                std::vector<Token> seen;
                if (byToken) {
                    for (; !tokenQueue.Empty(); tokenQueue.PopFront())
                        seen.push_back(tokenQueue.Front());
                } else {
                    tokenQueue.DrainEach([&](const Token& token) { seen.push_back(token); });
                }
                ASSERT_EQ(seen.size(), window);
                for (const Token& token : seen) {
                    const std::size_t k = drained - (appended - window);
                    EXPECT_EQ(token.text.data(), text.data() + drained % 4000) << window;
                    EXPECT_EQ(token.text.size(), 1 + k % 7) << window;
                    EXPECT_EQ(token.kind, static_cast<TokenKind>(drained % kTokenKindCount));
                    ++drained;
                }
                EXPECT_TRUE(tokenQueue.Empty());
                for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
                    EXPECT_EQ(tokenQueue.CountOf(static_cast<TokenKind>(kind)), 0u);
            }
        }
    }
    tokenQueue.Clear();
}

}  // namespace
}  // namespace lumarix
