// Memory running out in the middle of an operation. The global operator new
// of this program, and the storage function of the text buffers, fail (throw
// std::bad_alloc) on the Nth allocation that the plug-in makes, for every N
// the operation reaches; the fake host's own allocations are never failed.
// After each failure the module must answer as usual, leave no half-done work
// behind, and do the next operation exactly as if nothing had happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

extern "C" std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call);

namespace {

// The instrument: which allocation fails, and whether it keeps failing.
struct FaultPlan {
    bool armed = false;
    long failAt = 0;          // 1-based number of the allocation that fails
    bool persistent = false;  // every allocation from failAt on fails too
    long seen = 0;            // allocations counted since arming
    long textStorage = 0;     // of them, text buffers growing
    bool failed = false;      // an allocation was failed since arming
    int hostDepth = 0;        // > 0 while the fake host runs: not counted
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
    if (plan.armed && plan.hostDepth == 0) ++plan.textStorage;
    CountAllocation();
    if (void* fresh = std::realloc(data, size)) return static_cast<char*>(fresh);
    throw std::bad_alloc();
}

namespace {

// Arms the plan for one operation and disarms it when the operation returns.
class ArmedScope {
  public:
    ArmedScope(long failAt, bool persistent) {
        plan = FaultPlan{true, failAt, persistent, 0, 0, false, 0};
    }
    ~ArmedScope() { plan.armed = false; }
    ArmedScope(const ArmedScope&) = delete;
    ArmedScope& operator=(const ArmedScope&) = delete;
};

struct HostScope {
    HostScope() { ++plan.hostDepth; }
    ~HostScope() { --plan.hostDepth; }
};

std::intptr_t Call(std::uint32_t id, HostWord param1 = 0, HostWord param2 = 0) {
    HostCall call{{sizeof(HostCall), id, 0, 0, 0, 0}, param1, param2};
    return IMessageProc(&call);
}

// How many allocations of the plug-in one run of `operation` makes.
long CountAllocations(const std::function<void()>& operation) {
    ArmedScope armed(0, false);
    operation();
    return plan.seen;
}

// One call the plug-in made: its id and the bytes of the record it passed.
struct ReceivedCall {
    std::uint32_t id;
    std::string record;
    bool operator==(const ReceivedCall&) const = default;
};

// A host with a settings store and a log of the plug-in's calls. Nothing it
// allocates is counted or failed.
class FakeHost {
    HostControl control_;  // first: the plug-in sees the host as its control object

  public:
    FakeHost() {
        static const HostControlOps ops = {Unused, Unused,   Unused, Unused,
                                           Unused, OnReport, Unused, OnSendCall};
        control_.ops = &ops;
        for (const SettingsColumn& c : kSettingsColumns)
            values_[c.column] = c.isText ? c.defaultText : (c.defaultInt ? "1" : "0");
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    HostWord Control() { return reinterpret_cast<HostWord>(&control_); }
    void Set(std::uint32_t column, std::string value) { values_[column] = std::move(value); }

    std::vector<ReceivedCall> calls;
    std::vector<std::string> forwardedBodies;

  private:
    static void Unused() {}
    static FakeHost& Of(HostControl* self) { return *reinterpret_cast<FakeHost*>(self); }

    static std::intptr_t LX_STDCALL OnReport(HostControl*, std::int32_t) { return 0; }

    static std::intptr_t LX_STDCALL OnSendCall(HostControl* self, void* record) {
        HostScope inHost;
        return Of(self).Answer(record);
    }

    std::intptr_t Answer(void* record) {
        CallHead head;
        std::memcpy(&head, record, sizeof head);
        if (head.id == 1102) {
            calls.push_back({head.id, Bytes(record, sizeof(ColumnRecord))});
            return 1;
        }
        const auto& call = *static_cast<const HostCall*>(record);
        auto* item = reinterpret_cast<PageItem*>(call.param1);
        switch (head.id) {
            case 10101:
                calls.push_back({head.id, Bytes(item, item->size)});
                return 1;
            case 10106: {
                calls.push_back({head.id, Bytes(item, kPageItemSize)});
                const auto found = values_.find(item->id - 0x11000000u);
                return reinterpret_cast<std::intptr_t>(
                    found == values_.end() ? "" : found->second.c_str());
            }
            case 10103: {
                const auto* forward = reinterpret_cast<const ForwardRecord*>(call.param1);
                calls.push_back({head.id, {}});
                const char* body = forward->message->body;  // a packed field: read, not bound
                forwardedBodies.emplace_back(body);
                return 1;
            }
            default:
                calls.push_back({head.id, Bytes(&call, sizeof call)});
                return 77;
        }
    }

    static std::string Bytes(const void* p, std::size_t n) {
        return std::string(static_cast<const char*>(p), n);
    }

    std::map<std::uint32_t, std::string> values_;
};

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

// Every test starts with a host held, the columns registered and the style
// tags built, as the messenger does at start.
class AllocFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Call(20001, host.Control());
        Call(21001);
        Call(21020);
        host.calls.clear();
    }
    void TearDown() override { Call(20002); }

    FakeHost host;
};

// A body with two blocks holding every token kind and the three escaped bytes.
const char kBody[] =
    "before [delphi]begin x := 'a<b' + 12; { c & d } y := x > 1.5e3; end[/delphi] mid "
    "[delphi](* open */ z // line\n[/delphi] after";

// The answer and the message's body and flags afterwards, copied out of the
// packed record so that the checks bind no reference to a misaligned field.
struct RewriteOutcome {
    std::intptr_t answer;
    const char* body;
    std::uint32_t flags;
};

RewriteOutcome SendBody(const char* body, std::uint32_t flags) {
    ChatMessage message{};
    message.size = sizeof(ChatMessage);
    message.unknownText1 = "";
    message.newIdText = "sender";
    message.body = body;
    message.unknownText2 = "";
    message.flags = flags;
    message.unknown2[2] = -2;
    const std::intptr_t answer = Call(20100, reinterpret_cast<HostWord>(&message));
    return {answer, message.body, message.flags};
}

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
    const RewriteOutcome normal = SendBody(kBody, 0x10);
    ASSERT_EQ(2, normal.answer);
    const std::string expected = normal.body;
    const long allocations = CountAllocations([] { SendBody(kBody, 0x10); });
    ASSERT_GT(allocations, 0) << "a rewrite that allocates nothing cannot be tested here";
    ASSERT_GT(plan.textStorage, 0) << "the output buffer's allocations are not counted";

    RecentResults recent;
    for (int k = 0; k < 19; ++k) recent.Add(SendBody(kBody, 0).body);
    RewriteOutcome attempt{};
    const int failures = ForEveryFailure([] {}, [&] { attempt = SendBody(kBody, 0x10); },
                                         [&](bool failed) {
                                             if (failed) {
                                                 EXPECT_EQ(1, attempt.answer);
                                                 EXPECT_EQ(kBody, attempt.body)
                                                     << "the body pointer is untouched";
                                                 EXPECT_EQ(0x10u, attempt.flags);
                                                 EXPECT_TRUE(tokenQueue.Empty());
                                             } else {
                                                 EXPECT_EQ(2, attempt.answer);
                                                 EXPECT_EQ(expected, attempt.body);
                                                 recent.Add(attempt.body);
                                             }
                                             recent.ExpectUnchanged();
                                             const RewriteOutcome next = SendBody(kBody, 0x10);
                                             EXPECT_EQ(2, next.answer);
                                             EXPECT_EQ(0x210u, next.flags);
                                             ASSERT_EQ(expected, next.body);
                                             recent.Add(next.body);
                                         });
    EXPECT_GE(failures, allocations);
}

TEST_F(AllocFailureTest, RewriteFailureTakesNoSlotInTheRing) {
    // The kept result outlives nineteen stored successors, not twenty: it
    // stays unchanged only if the failed rewrite stored nothing.
    const RewriteOutcome kept = SendBody("[delphi]kept[/delphi]", 0x10);
    const std::string keptText = kept.body;
    for (int k = 0; k < 18; ++k) ASSERT_EQ(2, SendBody(kBody, 0x10).answer);
    {
        ArmedScope armed(1, true);
        EXPECT_EQ(1, SendBody(kBody, 0).answer);
    }
    ASSERT_EQ(2, SendBody(kBody, 0x10).answer);
    EXPECT_EQ(keptText, kept.body);
}

TEST_F(AllocFailureTest, CopyPathForwardsAllOrNothing) {
    ASSERT_EQ(1, SendBody(kBody, 0x2).answer);
    ASSERT_EQ(1u, host.forwardedBodies.size());
    const std::string expected = host.forwardedBodies.front();
    const std::vector<std::uint32_t> kForward = {200, 10103};

    RewriteOutcome attempt{};
    const int failures = ForEveryFailure(
        [&] {
            host.calls.clear();
            host.forwardedBodies.clear();
        },
        [&] { attempt = SendBody(kBody, 0x2); },
        [&](bool failed) {
            EXPECT_EQ(1, attempt.answer);
            EXPECT_EQ(kBody, attempt.body) << "the incoming body is never replaced";
            std::vector<std::uint32_t> ids;
            for (const ReceivedCall& call : host.calls) ids.push_back(call.id);
            if (ids.empty()) {
                EXPECT_TRUE(failed);
                EXPECT_EQ(0x2u, attempt.flags);
            } else {
                EXPECT_EQ(kForward, ids);
                ASSERT_EQ(1u, host.forwardedBodies.size());
                EXPECT_EQ(expected, host.forwardedBodies.front());
                EXPECT_EQ(0x3002u, attempt.flags);
            }
            host.forwardedBodies.clear();
            EXPECT_EQ(1, SendBody(kBody, 0x2).answer);
            ASSERT_EQ(1u, host.forwardedBodies.size());
            EXPECT_EQ(expected, host.forwardedBodies.front());
        });
    EXPECT_GT(failures, 0);
}

// For operations that only send calls: under any failure they answer as
// usual and send a prefix of the normal calls; the next run sends them all.
void ExpectPrefixOfNormalCalls(FakeHost& host, std::uint32_t id, std::intptr_t normalAnswer) {
    host.calls.clear();
    ASSERT_EQ(normalAnswer, Call(id));
    const std::vector<ReceivedCall> normal = host.calls;
    ASSERT_FALSE(normal.empty());
    std::intptr_t answer = -1;
    ForEveryFailure(
        [&] { host.calls.clear(); }, [&] { answer = Call(id); },
        [&](bool failed) {
            EXPECT_EQ(normalAnswer, answer);
            ASSERT_LE(host.calls.size(), normal.size());
            EXPECT_TRUE(std::equal(host.calls.begin(), host.calls.end(), normal.begin()));
            if (!failed) {
                EXPECT_EQ(normal, host.calls);
            }
            host.calls.clear();
            EXPECT_EQ(normalAnswer, Call(id));
            EXPECT_EQ(normal, host.calls);
        });
}

TEST_F(AllocFailureTest, RegistrationSendsAPrefixAndThenEverything) {
    ExpectPrefixOfNormalCalls(host, 21001, 1);
}

TEST_F(AllocFailureTest, SettingsPageSendsAPrefixAndThenEverything) {
    ExpectPrefixOfNormalCalls(host, 22000, 1);
}

// New settings differ from the defaults in every column, so that any mixture
// of old and new tags shows in the output.
const std::map<std::uint32_t, std::string> kNewSettings = [] {
    std::map<std::uint32_t, std::string> values;
    const char* colors[] = {"red", "green", "blue", "teal", "navy"};
    for (std::size_t k = 0; k < 5; ++k) values[1000021 + std::uint32_t(k)] = colors[k];
    for (const SettingsColumn& c : kSettingsColumns)
        if (!c.isText) values[c.column] = c.defaultInt ? "0" : "1";
    return values;
}();

void SetAll(FakeHost& host, bool newSettings) {
    for (const SettingsColumn& c : kSettingsColumns)
        host.Set(c.column, newSettings ? kNewSettings.at(c.column)
                                       : (c.isText ? c.defaultText : (c.defaultInt ? "1" : "0")));
}

std::string RewrittenBody() {
    return SendBody(kBody, 0).body;
}

TEST_F(AllocFailureTest, RebuildLeavesTheTagsWhollyOldOrWhollyNew) {
    const std::string oldOutput = RewrittenBody();
    SetAll(host, true);
    ASSERT_EQ(1, Call(22100));
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
                SetAll(host, false);
                ASSERT_EQ(1, Call(22100));
                ASSERT_EQ(oldOutput, RewrittenBody());
                SetAll(host, true);
            },
            [&] { answer = Call(id); },
            [&](bool failed) {
                EXPECT_EQ(normalAnswer, answer);
                const std::string output = RewrittenBody();
                EXPECT_TRUE(output == oldOutput || output == newOutput) << output;
                if (!failed) {
                    EXPECT_EQ(newOutput, output);
                }
                EXPECT_EQ(normalAnswer, Call(id));
                EXPECT_EQ(newOutput, RewrittenBody());
            });
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
}  // namespace lumarix
