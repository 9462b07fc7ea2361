// What the module keeps between messages and what it does with bodies too
// large for its address space. A messenger runs for weeks in 32 bits: one
// huge paste must not stay held, and a size that would wrap must never size a
// buffer.
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "highlight/text_buffer.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using lumarix::testing::kWorkedExample;
using lumarix::testing::kWorkedExampleHtml;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Bytes the C heap has handed out and not had back, mapped blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

constexpr std::string_view kBefore = "paste: [delphi]", kAfter = "[/delphi] end";

// A message of one block of about `size` bytes: `line` repeated, or `fill`
// bytes of one value when `line` is empty.
std::string Block(std::string_view line, std::size_t size, char fill = ' ') {
    std::string body;
    body.reserve(kBefore.size() + size + line.size() + kAfter.size());
    body += kBefore;
    if (line.empty()) body.append(size, fill);
    while (body.size() < size) body += line;
    body += kAfter;
    return body;
}

// Sizes that would wrap in size_t are refused before anything is allocated
// or written; the buffer keeps its text.
TEST(TextBufferTest, SizesThatWouldWrapAreRefused) {
    constexpr std::size_t kMax = SIZE_MAX;
    struct Case {
        std::size_t count, slack;
    };
    const Case cases[] = {{kMax, 0}, {kMax - 2, 0}, {kMax - 3, 1}, {kMax - 40, 64}, {1, kMax}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "count " << c.count << ", slack " << c.slack);
        TextBuffer buffer;
        buffer.Append("abc");
        EXPECT_THROW(buffer.Extend(c.count, c.slack), std::bad_alloc);
        EXPECT_EQ("abc", buffer.View());
    }
    EXPECT_THROW(CheckedAdd(kMax, 1), std::bad_alloc);
    EXPECT_EQ(kMax, CheckedAdd(kMax - 1, 1));
}

TEST(TextBufferTest, MovedFromBufferIsEmptyAndUsable) {
    TextBuffer first;
    first.Append("kept");
    TextBuffer second = std::move(first);
    EXPECT_EQ(0u, first.Capacity());
    first.Append("new");
    EXPECT_STREQ("new", first.CStr());
    first = std::move(second);
    EXPECT_EQ(0u, second.Capacity());
    EXPECT_STREQ("kept", first.CStr());
}

class MemoryTest : public lumarix::testing::PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        host_->Start();
    }

    // Sends `body` in place and returns the answer; `result` is what the
    // message holds afterwards.
    std::intptr_t Send(const std::string& body, std::string_view& result) {
        return host_->SendMessage(body, false, result);
    }
};

// One huge paste, or a run of large ones (which fill the ring, so that each
// is built in the storage the one before it freed): twenty small messages
// later, none of their storage is held.
TEST_F(MemoryTest, LargePastesAreNotKeptAfterTwentySmallMessages) {
    if (lumarix::testing::kAddressSanitized)
        GTEST_SKIP() << "mallinfo2 does not count the sanitizer's heap";
    struct Pastes {
        std::size_t size;
        int count;
    };
    for (const Pastes pastes : {Pastes{64 * kMiB, 1}, Pastes{kMiB, 25}}) {
        SCOPED_TRACE(::testing::Message() << pastes.count << " x " << pastes.size << " bytes");
        const std::size_t before = HeapInUse();
        {
            const std::string large =
                Block("if x > 0 then begin s := 'text'; { note } n := n + 1 end;\n", pastes.size);
            for (int k = 0; k < pastes.count; ++k) {
                std::string_view result;
                ASSERT_EQ(2, Send(large, result));
                ASSERT_GT(result.size(), large.size());
            }
        }
        std::size_t smallResults = 0;
        for (int k = 0; k < 20; ++k) {
            const std::string body = "[delphi]begin x := " + std::to_string(k) + "; end[/delphi]";
            std::string_view result;
            ASSERT_EQ(2, Send(body, result));
            smallResults += result.size() + 1;
        }
        const std::ptrdiff_t held = std::ptrdiff_t(HeapInUse()) - std::ptrdiff_t(before);
        std::printf(
            "[ memory   ] after %d paste(s) of %zu bytes and twenty small messages: %td bytes "
            "held, %zu of them the twenty results\n",
            pastes.count, pastes.size, held, smallResults);
        EXPECT_LT(held, std::ptrdiff_t(smallResults + 2 * kMiB));
    }
}

// About 900 MB of "&" in one block: each byte becomes "&amp;", so the HTML
// passes 4 GiB, which a 32-bit size_t cannot count. The message must pass
// unchanged, as on any shortage of memory, and the next one must work.
TEST_F(MemoryTest, BodyWhoseHtmlPassesFourGibibytesPassesUnchanged) {
    if (sizeof(std::size_t) > 4)
        GTEST_SKIP() << "sizes wrap at 4 GiB only where size_t has 32 bits (preset linux-x86)";
    std::string body;
    try {
        body = Block({}, 900 * kMiB, '&');
    } catch (const std::bad_alloc&) {
        GTEST_SKIP() << "this process cannot hold the 900 MB body";
    }
    std::string_view result;
    EXPECT_EQ(1, Send(body, result));
    EXPECT_EQ(static_cast<const void*>(body.c_str()), static_cast<const void*>(result.data()));
    EXPECT_EQ(body.find_first_not_of('&', kBefore.size()), body.size() - kAfter.size())
        << "the body was written to";
    body = std::string();

    std::string_view next;
    EXPECT_EQ(2, Send(kWorkedExample, next));
    EXPECT_EQ(kWorkedExampleHtml, next);
}

}  // namespace
}  // namespace lumarix
