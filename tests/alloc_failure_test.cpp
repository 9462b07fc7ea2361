// Memory running out in the middle of an operation. The global operator new
// of this program, and the storage function of the text buffers, fail (throw
// std::bad_alloc) on the Nth allocation that the plug-in makes, for every N
// the operation reaches; the stand-in host's own allocations are never failed.
// After each failure the module must answer as usual, leave no half-done work
// behind, and do the next operation exactly as if nothing had happened.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "highlight/formatter.h"
#include "highlight/token_queue.h"
#include "host/platform.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "tests/test_support.h"
#include "tools/stand_in_host.h"

extern "C" std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call);

namespace {

// The instrument: which allocation fails, and whether it keeps failing.
struct FaultPlan {
    bool armed = false;
    long failAt = 0;                     // 1-based number of the allocation that fails
    bool persistent = false;             // every allocation from failAt on fails too
    long seen = 0;                       // allocations counted since arming
    long textStorage = 0;                // of them, text buffers growing
    bool failed = false;                 // an allocation was failed since arming
    int hostDepth = 0;                   // > 0 while the host runs: not counted
    std::size_t largestTextStorage = 0;  // the most a text buffer asked for at once
    // The most a text buffer held at once where growing copies, as the Windows
    // heap does: a growing request holds the old block and the new one.
    std::size_t peakTextStorage = 0;
};
FaultPlan plan;

// Counts one allocation of the plug-in and fails it when the plan says so.
void CountAllocation() {
    if (!plan.armed || plan.hostDepth != 0) return;
    ++plan.seen;
    if (plan.seen == plan.failAt || (plan.persistent && plan.seen > plan.failAt)) {
        plan.failed = true;
        throw std::bad_alloc();
    }
}

void* Allocate(std::size_t size) {
    CountAllocation();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* AllocateNoThrow(std::size_t size) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace lumarix {

// Linked in place of the library's own, which is alone in its object file.
char* ResizeTextStorage(char* data, std::size_t size) {
    if (plan.armed && plan.hostDepth == 0) {
        ++plan.textStorage;
        plan.largestTextStorage = std::max(plan.largestTextStorage, size);
        const std::size_t held = data ? malloc_usable_size(data) : 0;
        plan.peakTextStorage = std::max(plan.peakTextStorage, size > held ? held + size : size);
    }
    CountAllocation();
    if (void* fresh = std::realloc(data, size)) return static_cast<char*>(fresh);
    throw std::bad_alloc();
}

namespace {

// Arms the plan for one operation and disarms it when the operation returns.
class ArmedScope {
  public:
    ArmedScope(long failAt, bool persistent) {
        plan = FaultPlan{true, failAt, persistent, 0, 0, false, 0, 0, 0};
    }
    ~ArmedScope() { plan.armed = false; }
    ArmedScope(const ArmedScope&) = delete;
    ArmedScope& operator=(const ArmedScope&) = delete;
};

struct HostScope {
    HostScope() { ++plan.hostDepth; }
    ~HostScope() { --plan.hostDepth; }
};

// How many allocations of the plug-in one run of `operation` makes.
long CountAllocations(const std::function<void()>& operation) {
    ArmedScope armed(0, false);
    operation();
    return plan.seen;
}

// The control the plug-in is given: it passes each call on to the stand-in
// host's own control, marked as the host's work so that nothing the host
// allocates is counted or failed.
struct GuardedControl {
    HostControl control;
    HostControl* host;

    static HostControl* HostOf(HostControl* self) {
        return reinterpret_cast<GuardedControl*>(self)->host;
    }
    static std::intptr_t LX_STDCALL SendCall(HostControl* self, void* record) {
        HostScope inHost;
        HostControl* host = HostOf(self);
        return host->ops->sendCall(host, record);
    }
    static std::intptr_t LX_STDCALL ReportUnhandled(HostControl* self, std::int32_t code) {
        HostScope inHost;
        HostControl* host = HostOf(self);
        return host->ops->reportUnhandled(host, code);
    }
};
static_assert(std::is_standard_layout_v<GuardedControl>);

const HostControlOps kGuardedOps = {nullptr, nullptr,
                                    nullptr, nullptr,
                                    nullptr, GuardedControl::ReportUnhandled,
                                    nullptr, GuardedControl::SendCall};

// One call the plug-in made: its id and the bytes of the record it passed.
struct SentRecord {
    std::uint32_t id;
    std::string record;
    bool operator==(const SentRecord&) const = default;
};

std::vector<SentRecord> SentRecords(const tools::StandInHost& host) {
    std::vector<SentRecord> sent;
    for (const tools::ReceivedCall& call : host.Received()) sent.push_back({call.id, call.record});
    return sent;
}

// Runs `operation` once for every N it reaches, failing the Nth allocation
// alone and then the Nth and all after it; `prepare` runs unarmed before each
// run, `check` after it, told whether an allocation was failed. Returns how
// many runs failed an allocation.
int ForEveryFailure(const std::function<void()>& prepare, const std::function<void()>& operation,
                    const std::function<void(bool failed)>& check) {
    int failures = 0;
    for (const bool persistent : {false, true}) {
        for (long n = 1;; ++n) {
            SCOPED_TRACE(::testing::Message()
                         << "allocation " << n << (persistent ? " and all after" : " alone"));
            prepare();
            {
                ArmedScope armed(n, persistent);
                operation();
            }
            const bool failed = plan.failed;
            check(failed);
            if (::testing::Test::HasFatalFailure() || !failed) break;
            ++failures;
        }
    }
    return failures;
}

// Every test starts with the stand-in host driving the plug-in linked into
// this program, its control held, the columns registered and the style tags
// built, as the messenger does at start.
class AllocFailureTest : public lumarix::testing::PluginTest {
  protected:
    void SetUp() override {
        host_ = std::make_unique<tools::StandInHost>(&IMessageProc);
        guarded_ = {{&kGuardedOps}, host_->Control()};
        host_->Call(20001, reinterpret_cast<HostWord>(&guarded_.control));
        host_->Call(21001);
        host_->Call(21020);
        host_->ClearReceived();
    }

    // Sets column n in the host's store.
    void Set(std::uint32_t column, const std::string& value) {
        ASSERT_TRUE(host_->SetValue(host_->FindColumn(column)->key, value));
    }

    GuardedControl guarded_{};
};

// A body with two blocks holding every token kind and the three escaped bytes.
// Its result is too large for the ring to keep room for it past a small one.
const std::string kBodyText =
    "before [delphi]begin x := 'a<b' + 12; { c & d " + std::string(6000, 'c') +
    " } y := x > 1.5e3; end[/delphi] mid [delphi](* open */ z // line\n[/delphi] after";
const char* const kBody = kBodyText.c_str();

// The answer and the message's body and flags afterwards, copied out of the
// packed record so that the checks bind no reference to a misaligned field.
struct RewriteOutcome {
    std::intptr_t answer;
    const char* body;
    std::uint32_t flags;
};

RewriteOutcome SendBody(tools::StandInHost& host, const char* body, std::uint32_t flags) {
    ChatMessage message{};
    message.size = sizeof(ChatMessage);
    message.unknownText1 = "";
    message.newIdText = "sender";
    message.body = body;
    message.unknownText2 = "";
    message.flags = flags;
    message.unknown2[2] = -2;
    const std::intptr_t answer = host.Call(20100, reinterpret_cast<HostWord>(&message));
    return {answer, message.body, message.flags};
}

// A small body rewritten in place; returns its result.
const char* SendSmall(tools::StandInHost& host) {
    return SendBody(host, "[delphi]t[/delphi]", 0).body;
}

// After this many small results the ring holds no storage that kBody's result
// fits in (the last is built in the storage the one before freed, and
// trimmed), so that rewriting kBody must allocate.
constexpr int kSmallResultsThatFlush = ResultRing::kSlots + 1;

// Results handed out earlier, with their text at the time: each must stay
// readable and unchanged while the next nineteen are stored.
class RecentResults {
  public:
    void Add(const char* text) {
        results_.emplace_back(text, text);
        if (results_.size() > ResultRing::kSlots - 1) results_.pop_front();
    }
    void ExpectUnchanged() const {
        for (const auto& [text, expected] : results_) ASSERT_EQ(expected, text);
    }

  private:
    std::deque<std::pair<const char*, std::string>> results_;
};

TEST_F(AllocFailureTest, RewriteInPlaceFailsWholeAndTheNextMessageWorks) {
    const RewriteOutcome normal = SendBody(*host_, kBody, 0x10);
    ASSERT_EQ(2, normal.answer);
    const std::string expected = normal.body;
    RecentResults recent;
    recent.Add(normal.body);
    const auto fillRing = [&] {
        for (int k = 0; k < kSmallResultsThatFlush; ++k) recent.Add(SendSmall(*host_));
    };
    fillRing();
    const long allocations = CountAllocations([&] { SendBody(*host_, kBody, 0x10); });
    ASSERT_GT(allocations, 0) << "a rewrite that allocates nothing cannot be tested here";
    ASSERT_GT(plan.textStorage, 0) << "the output buffer's allocations are not counted";

    RewriteOutcome attempt{};
    const int failures = ForEveryFailure(
        fillRing, [&] { attempt = SendBody(*host_, kBody, 0x10); },
        [&](bool failed) {
            if (failed) {
                EXPECT_EQ(1, attempt.answer);
                EXPECT_EQ(kBody, attempt.body) << "the body pointer is untouched";
                EXPECT_EQ(0x10u, attempt.flags);
                EXPECT_TRUE(tokenQueue.Empty());
            } else {
                EXPECT_EQ(2, attempt.answer);
                EXPECT_EQ(expected, attempt.body);
                recent.Add(attempt.body);
            }
            recent.ExpectUnchanged();
            const RewriteOutcome next = SendBody(*host_, kBody, 0x10);
            EXPECT_EQ(2, next.answer);
            EXPECT_EQ(0x210u, next.flags);
            ASSERT_EQ(expected, next.body);
            recent.Add(next.body);
        });
    EXPECT_GE(failures, allocations);
}

TEST_F(AllocFailureTest, RewriteFailureTakesNoSlotInTheRing) {
    // The kept result outlives nineteen stored successors, not twenty: it
    // stays unchanged only if the failed rewrite stored nothing. The small
    // results leave no storage that holds kBody's result.
    for (int k = 0; k < kSmallResultsThatFlush; ++k) SendSmall(*host_);
    const RewriteOutcome kept = SendBody(*host_, "[delphi]kept[/delphi]", 0x10);
    const std::string keptText = kept.body;
    for (int k = 0; k < 18; ++k) SendSmall(*host_);
    std::intptr_t failedAnswer = 0;
    {
        ArmedScope armed(1, true);
        failedAnswer = SendBody(*host_, kBody, 0).answer;
    }
    EXPECT_EQ(1, failedAnswer);
    ASSERT_EQ(2, SendBody(*host_, kBody, 0x10).answer);
    EXPECT_EQ(keptText, kept.body);
}

// A rewrite cut short by memory gives the storage it was given back as the
// spare, as a finished one does: the next small rewrite allocates none.
TEST_F(AllocFailureTest, FailedRewriteLeavesItsStorageAsTheSpare) {
    const int failures = ForEveryFailure(
        [&] {
            for (int k = 0; k < kSmallResultsThatFlush; ++k) SendSmall(*host_);
        },
        [&] { SendBody(*host_, kBody, 0); },
        [&](bool) {
            CountAllocations([&] { SendSmall(*host_); });
            EXPECT_EQ(0, plan.textStorage) << "the next small rewrite allocated its output";
        });
    EXPECT_GT(failures, 0);
}

// What a rewrite asks of a heap that commits all it hands out and grows a
// block by copying it (the Windows heap), against the result: code of one
// density, even a little denser further on, gets its room at once; blocks of
// other shapes ask for at most twice their result and hold at most two and a
// half times it, including blocks made to reach each bound the room obeys.
// (Code past the first sixteenth, then a long comment, asks for more: no room
// chosen from what has been read can tell it from code throughout.)
TEST_F(AllocFailureTest, RewriteAsksForLittleMoreThanItsResult) {
    constexpr std::size_t kKiB = 1024, kMiB = kKiB * kKiB;
    const auto repeat = [](std::string_view text, std::size_t size) {
        std::string out;
        while (out.size() < size) out += text;
        return out;
    };
    const auto comment = [](std::size_t size) { return "{" + std::string(size - 2, 'c') + "}"; };
    const auto word = [](std::size_t size) { return std::string(size, 'w'); };
    const std::string_view line = "if x > 0 then begin s := 'text'; { note } n := n + 1 end;\n";
    const std::string_view denser = "if x > 0 then begin s := 'text'; n := n + 1 end;\n";
    const std::string_view dense = "a:=b+1;x[i]:=(y*2)-z;\n";
    std::string pascal, scattered, alternating, growing;
    for (const std::string& file : lumarix::testing::PascalSourceFiles(400)) {
        if (pascal.size() > kMiB) break;
        pascal += lumarix::testing::ReadFile(file);
    }
    std::erase(pascal, '[');  // no marker may end the block early
    while (scattered.size() < 2 * kMiB) scattered += repeat("& ", 2 * kKiB) + comment(62 * kKiB);
    while (alternating.size() < 2 * kMiB)
        alternating += repeat(line, 64 * kKiB) + comment(64 * kKiB);
    for (std::size_t k = 1; growing.size() < 4 * kMiB; ++k)
        growing += repeat(dense, 16 * kKiB * k) + word(64 * kKiB * k);
    struct Case {
        const char* name;
        std::string inner, after;
        double largest, peak;  // at most these times the result
        std::string color{};   // of every category; empty: the defaults
    };
    const Case cases[] = {
        {"typical", repeat(line, kMiB), "", 1.25, 1.25},
        {"dense", repeat(dense, kMiB), "", 1.25, 1.25},
        {"&<>", repeat("a<&>", kMiB), "", 1.25, 1.25},
        {"a long tail", repeat(line, 64 * kKiB), std::string(4 * kMiB, 't'), 1.25, 1.25},
        {"typical, then a little denser", repeat(line, kMiB / 2) + repeat(denser, kMiB / 2), "",
         1.25, 1.25},
        {"4 KB of & , then a 1 MB word", repeat("& ", 4 * kKiB) + word(kMiB), "", 2, 2.5},
        {"64 KB of & , then an 8 MB word", repeat("& ", 64 * kKiB) + word(8 * kMiB), "", 2, 2.5},
        {"4 KB of ;a, then a 4 MB comment", repeat(";a", 4 * kKiB) + comment(4 * kMiB), "", 2, 2.5},
        {"a 1 MB word, then 1 MB of & ", word(kMiB) + repeat("& ", kMiB), "", 2, 2.5},
        {"a 4 KB comment, then 4 MB of & ", comment(4 * kKiB) + repeat("& ", 4 * kMiB), "", 2, 2.5},
        {"2 KB of & every 64 KB of comment", scattered, "", 2, 2.5},
        {"typical and comment by turns", alternating, "", 2, 2.5},
        {"dense and words, each longer", growing, "", 2, 2.5},
        {"Free Pascal sources", pascal, "", 2, 2.5},
        // Each of these would pass a bound if the room did not keep to it.
        {"6 KB of 1<, then a 4 MB word", repeat("1<", 6561) + word(4 * kMiB), "", 2, 2.5},
        {"22 KB of 1<, then a 1 MB word, under 1000-byte colours", repeat("1<", 22141) + word(kMiB),
         "", 2, 2.5, std::string(1000, 'x')},
        {"64 KB of 1<, a 16 KB comment, then 1 MB of typical code",
         repeat("1<", 64 * kKiB) + comment(16 * kKiB) + repeat(line, kMiB), "", 2, 2.5},
    };
    for (const Case& c : cases) {
        reference::Styles styles = reference::kDefaultStyles;
        if (!c.color.empty())
            for (reference::Style& style : styles) style.color = c.color;
        for (const auto& [column, value] : reference::SettingsOf(styles)) Set(column, value);
        ASSERT_EQ(1, host_->Call(22100));
        for (int k = 0; k < kSmallResultsThatFlush; ++k) SendSmall(*host_);
        const std::string body = "[delphi]" + c.inner + "[/delphi]" + c.after;
        const char* result = nullptr;
        CountAllocations([&] { result = SendBody(*host_, body.c_str(), 0).body; });
        const double stored = static_cast<double>(std::strlen(result) + 1);
        std::printf("[ memory   ] %s: asked %.2f, held %.2f times the result\n", c.name,
                    static_cast<double>(plan.largestTextStorage) / stored,
                    static_cast<double>(plan.peakTextStorage) / stored);
        EXPECT_GT(plan.largestTextStorage, std::size_t{0}) << c.name;
        EXPECT_LE(static_cast<double>(plan.largestTextStorage), c.largest * stored)
            << c.name << ": asked " << plan.largestTextStorage << " bytes for a result of "
            << stored;
        EXPECT_LE(static_cast<double>(plan.peakTextStorage), c.peak * stored)
            << c.name << ": held " << plan.peakTextStorage << " bytes for a result of " << stored;
    }
}

TEST_F(AllocFailureTest, CopyPathForwardsAllOrNothing) {
    ASSERT_EQ(1, SendBody(*host_, kBody, 0x2).answer);
    ASSERT_EQ(1u, host_->Forwarded().size());
    const std::string expected = host_->Forwarded().front().body;
    const std::vector<std::uint32_t> kForward = {200, 10103};

    RewriteOutcome attempt{};
    std::size_t forwarded = 0;  // copies forwarded before the attempt
    const int failures = ForEveryFailure(
        [&] {
            host_->ClearReceived();
            forwarded = host_->Forwarded().size();
        },
        [&] { attempt = SendBody(*host_, kBody, 0x2); },
        [&](bool failed) {
            EXPECT_EQ(1, attempt.answer);
            EXPECT_EQ(kBody, attempt.body) << "the incoming body is never replaced";
            std::vector<std::uint32_t> ids;
            for (const tools::ReceivedCall& call : host_->Received()) ids.push_back(call.id);
            if (ids.empty()) {
                EXPECT_TRUE(failed);
                EXPECT_EQ(0x2u, attempt.flags);
                EXPECT_EQ(forwarded, host_->Forwarded().size());
            } else {
                EXPECT_EQ(kForward, ids);
                ASSERT_EQ(forwarded + 1, host_->Forwarded().size());
                EXPECT_EQ(expected, host_->Forwarded().back().body);
                EXPECT_EQ(0x3002u, attempt.flags);
            }
            const std::size_t before = host_->Forwarded().size();
            EXPECT_EQ(1, SendBody(*host_, kBody, 0x2).answer);
            ASSERT_EQ(before + 1, host_->Forwarded().size());
            EXPECT_EQ(expected, host_->Forwarded().back().body);
        });
    EXPECT_GT(failures, 0);
}

// For operations that only send calls: under any failure they answer as
// usual and send a prefix of the normal calls; the next run sends them all.
void ExpectPrefixOfNormalCalls(tools::StandInHost& host, std::uint32_t id,
                               std::intptr_t normalAnswer) {
    host.ClearReceived();
    ASSERT_EQ(normalAnswer, host.Call(id));
    const std::vector<SentRecord> normal = SentRecords(host);
    ASSERT_FALSE(normal.empty());
    std::intptr_t answer = -1;
    ForEveryFailure([&] { host.ClearReceived(); }, [&] { answer = host.Call(id); },
                    [&](bool failed) {
                        EXPECT_EQ(normalAnswer, answer);
                        const std::vector<SentRecord> sent = SentRecords(host);
                        ASSERT_LE(sent.size(), normal.size());
                        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), normal.begin()));
                        if (!failed) {
                            EXPECT_EQ(normal, sent);
                        }
                        host.ClearReceived();
                        EXPECT_EQ(normalAnswer, host.Call(id));
                        EXPECT_EQ(normal, SentRecords(host));
                    });
}

TEST_F(AllocFailureTest, RegistrationSendsAPrefixAndThenEverything) {
    ExpectPrefixOfNormalCalls(*host_, 21001, 1);
}

TEST_F(AllocFailureTest, SettingsPageSendsAPrefixAndThenEverything) {
    ExpectPrefixOfNormalCalls(*host_, 22000, 1);
}

// New settings differ from the defaults in every column, so that any mixture
// of old and new tags shows in the output.
const std::map<std::uint32_t, std::string> kNewSettings = [] {
    reference::Styles styles = reference::kDefaultStyles;
    const char* colors[] = {"red", "green", "blue", "teal", "navy"};
    for (std::size_t k = 0; k < styles.size(); ++k)
        styles[k] = {colors[k], !styles[k].bold, !styles[k].italic, !styles[k].underline};
    return reference::SettingsOf(styles);
}();

const std::map<std::uint32_t, std::string> kDefaultSettings =
    reference::SettingsOf(reference::kDefaultStyles);

TEST_F(AllocFailureTest, RebuildLeavesTheTagsWhollyOldOrWhollyNew) {
    const auto SetAll = [&](bool newSettings) {
        for (const auto& [column, value] : newSettings ? kNewSettings : kDefaultSettings)
            Set(column, value);
    };
    const auto RewrittenBody = [&] { return std::string(SendBody(*host_, kBody, 0).body); };
    const std::string oldOutput = RewrittenBody();
    SetAll(true);
    ASSERT_EQ(1, host_->Call(22100));
    const std::string newOutput = RewrittenBody();
    ASSERT_NE(oldOutput, newOutput);

    struct RebuildCall {
        std::uint32_t id;
        std::intptr_t answer;
    };
    for (const RebuildCall rebuild : {RebuildCall{22100, 1}, RebuildCall{21020, 0}}) {
        const std::uint32_t id = rebuild.id;
        const std::intptr_t normalAnswer = rebuild.answer;
        SCOPED_TRACE(::testing::Message() << "call " << id);
        std::intptr_t answer = -1;
        const int failures = ForEveryFailure(
            [&] {
                SetAll(false);
                ASSERT_EQ(1, host_->Call(22100));
                ASSERT_EQ(oldOutput, RewrittenBody());
                SetAll(true);
            },
            [&] { answer = host_->Call(id); },
            [&](bool failed) {
                EXPECT_EQ(normalAnswer, answer);
                const std::string output = RewrittenBody();
                EXPECT_TRUE(output == oldOutput || output == newOutput) << output;
                if (!failed) {
                    EXPECT_EQ(newOutput, output);
                }
                EXPECT_EQ(normalAnswer, host_->Call(id));
                EXPECT_EQ(newOutput, RewrittenBody());
            });
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
}  // namespace lumarix
