// Any sequence of host calls into IMessageProc, against two stand-in hosts
// whose answers (value texts, null included, item statuses, the answer of
// call 200) come from the fuzz input. Every input starts as a freshly loaded
// module: no host held, the style tags as at load.
//
// Each step reads an opcode: one of the known call ids, or (opcodes 0xF0
// and up) a random id read from the input, then the call's parameters.
// Checked at every step:
// - the answer is the one the dispatch table gives; only the held host is
//   called, with exactly the calls the operation makes, well-formed;
// - a rewritten body equals the reference model's rendering with the tags of
//   the settings last read, and with the settings' defaults before any
//   rebuild;
// - a message body may be an earlier result handed back, whole or from
//   inside, at any age up to nineteen: it passes unchanged (the output is
//   final), and every result stays unchanged while the next nineteen are
//   stored.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "highlight/formatter.h"
#include "highlight/style_tags.h"
#include "host/protocol.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "host/settings_page.h"
#include "tests/reference_model.h"
#include "tools/stand_in_host.h"

extern "C" std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call);

namespace lumarix::fuzz {
namespace {

using tools::ReceivedCall;
using tools::StandInHost;

constexpr std::uint32_t kTag = kItemNumberTag;
constexpr std::uint32_t kPage = kSettingsPageId;

// A result handed out, with its text when it was handed out.
struct Result {
    const char* text;
    std::string expected;
};

// One input's run: the hosts, what their answers were, and what the module
// should now hold.
struct Run {
    explicit Run(InputReader& in) : input(in) {}

    InputReader& input;
    std::array<std::optional<StandInHost>, 2> hosts;
    StandInHost* held = nullptr;
    std::deque<std::optional<std::string>> values;         // 10106 answers of this step, in order
    std::vector<std::uint32_t> statuses;                   // 10107 answers of this step, in order
    std::intptr_t newMessageId = 0;                        // the last answer to call 200
    reference::Styles styles = reference::kDefaultStyles;  // what the tags must be now
    std::deque<Result> results;                            // newest last, at most twenty
    std::array<int, 2> reports{};  // each host's count of reports before this step
};
Run* run = nullptr;

std::optional<std::string> PickValueText() {
    switch (run->input.TakeByte() % 6) {
        case 0:
            return std::nullopt;
        case 1:
            return "1";
        case 2:
            return "0";
        case 3:
            return "";
        default:
            return WithoutNul(run->input.TakeShortText());
    }
}

// The answers the plug-in reads come from the input; the rest are the host's.
std::optional<std::intptr_t> AnswerFromInput(std::uint32_t id, void* target) {
    switch (id) {
        case kSendQueryValue: {
            const auto& text = run->values.emplace_back(PickValueText());
            return text ? reinterpret_cast<std::intptr_t>(text->c_str()) : 0;
        }
        case kSendQueryStatus: {
            const std::uint32_t status = run->input.TakeU32();
            run->statuses.push_back(status);
            static_cast<PageItem*>(target)->kindOrStatus = status;
            return run->input.TakeByte();
        }
        case kSendNewMessageId:
            return run->newMessageId = static_cast<std::int32_t>(run->input.TakeU32());
        default:
            return std::nullopt;
    }
}

std::intptr_t Call(std::uint32_t id, HostWord param1 = 0, HostWord param2 = 0) {
    return run->hosts[0]->Call(id, param1, param2);
}

// Reports of call ids left unhandled, since this step began.
int NewReports(const StandInHost& host) {
    return host.UnhandledReports() - run->reports[&host == &*run->hosts[0] ? 0 : 1];
}

// Calls made by the last IMessageProc, from the held host; checks that the
// other host got nothing.
const std::vector<ReceivedCall>& CallsMade() {
    static const std::vector<ReceivedCall> none;
    for (std::optional<StandInHost>& host : run->hosts)
        if (&*host != run->held)
            Require(host->Received().empty() && NewReports(*host) == 0,
                    "only the held host is called");
    return run->held ? run->held->Received() : none;
}

void RequireNoCalls() {
    Require(CallsMade().empty() && (!run->held || NewReports(*run->held) == 0), "no host call");
}

template <typename Record>
Record RecordOf(const std::string& bytes) {
    Record record{};
    std::memcpy(&record, bytes.data(), std::min(bytes.size(), sizeof record));
    return record;
}

// A HostCall of the plug-in with that id: its own size, head words 0.
bool IsCleanCall(const ReceivedCall& call, std::uint32_t id) {
    const auto head = RecordOf<CallHead>(call.sent);
    return call.id == id && call.sent.size() == sizeof(HostCall) && head.size == sizeof(HostCall) &&
           head.head1 == 0 && head.head2 == 0 && head.head3 == 0 && head.head4 == 0;
}

void CheckRegistration() {
    const auto& calls = CallsMade();
    if (!run->held) return Require(calls.empty(), "no registration without a host");
    Require(calls.size() == kSettingsColumns.size(), "twenty columns are registered");
    const reference::Settings defaults = reference::SettingsOf(reference::kDefaultStyles);
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const SettingsColumn& expected = kSettingsColumns[k];
        const auto r = RecordOf<ColumnRecord>(calls[k].record);
        Require(calls[k].id == 1102 && r.head.size == sizeof(ColumnRecord) && r.head.head1 == 0 &&
                    r.head.head2 == 0 && r.head.head3 == 0 && r.head.head4 == 0,
                "a registration is a 1102 record with a clean head");
        Require(r.reserved == 0 && r.column == expected.column, "columns in table order");
        Require(r.type == (expected.isText ? 1u : 0u), "column type");
        Require(std::strcmp(r.key, expected.key) == 0, "column key");
        const std::string value = expected.isText ? reinterpret_cast<const char*>(r.defaultValue)
                                                  : std::to_string(r.defaultValue);
        Require(value == defaults.at(std::uint32_t{r.column}), "column default");
    }
}

// Checks a rebuild's reads and the tags it built; the styles become those the
// values read give (the registered defaults without a host).
void CheckRebuild() {
    const auto& calls = CallsMade();
    if (!run->held) {
        Require(calls.empty(), "no reads without a host");
        run->styles = reference::kDefaultStyles;
    } else {
        constexpr std::array<std::uint32_t, 5> kColorOrder = {1000025, 1000023, 1000021, 1000022,
                                                              1000024};
        Require(calls.size() == 20 && run->values.size() == 20, "a rebuild reads twenty columns");
        reference::Settings values;
        for (std::size_t k = 0; k < calls.size(); ++k) {
            const std::uint32_t column = k < 15 ? 1000031 + std::uint32_t(k) : kColorOrder[k - 15];
            const auto q = RecordOf<PageItem>(calls[k].record);
            Require(IsCleanCall(calls[k], 10106) && calls[k].param2 == 0,
                    "a value query is call 10106");
            Require(q.size == kPageItemSize && q.id == kTag + column && q.parent == kPage &&
                        q.leadWord == -2 && q.creationLeadWord == 0 && q.unknown1[1] == 0 &&
                        q.request == 0x10040 && q.text == nullptr && q.unknown3 == 0,
                    "value query record, switches first, then the colours");
            values[column] = run->values[k].value_or("");  // a null answer reads as empty
        }
        run->styles = reference::StylesOf(values);
    }
    const reference::KindTags expected = reference::TagsOf(run->styles);
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind)
        Require(styleTags.kinds[kind].open.View() == expected.open[kind] &&
                    styleTags.kinds[kind].close.View() == expected.close[kind],
                "tags composed from the values read");
}

void CheckSettingsPage() {
    const auto& calls = CallsMade();
    if (!run->held) return Require(calls.empty(), "no page without a host");
    Require(calls.size() == 1 + kPageItems.size(), "call 10109 and 31 creations");
    Require(calls[0].id == 10109 && calls[0].param1 == 1000060 && calls[0].param2 == 100,
            "the page's icon first");
    for (std::size_t k = 0; k < kPageItems.size(); ++k) {
        const ReceivedCall& call = calls[k + 1];
        const PageItemRow& row = kPageItems[k];
        const auto item = RecordOf<PageItem>(call.record);
        Require(IsCleanCall(call, 10101) && call.param2 == 0, "a creation is 10101");
        Require(item.size == (row.indent ? kPageItemExtendedSize : kPageItemSize) &&
                    item.id == row.id && item.kindOrStatus == row.itemKind &&
                    item.number == row.number && item.text == row.text &&
                    (row.indent == 0 || item.indent == row.indent),
                "creations in table order");
        const bool description = row.itemKind == 0x80000;
        Require(item.parent == (k == 0 ? 46u : kPage) && item.leadWord == -2 &&
                    item.creationLeadWord == -1 && item.request == 863 &&
                    item.mask == 0xFFFFFFFFu && item.unknown2[1] == 0 &&
                    item.descriptionWord1 == (description ? 40u : 0u) &&
                    item.descriptionWord2 == (description ? 100u : 0u) && item.unknown4[0] == 0 &&
                    item.unknown4[1] == 0,
                "creation record fields");
    }
}

std::optional<std::uint32_t> ColorOfCategoryName(std::uint32_t n) {
    switch (n) {
        case 1000026:
            return 1000022;
        case 1000027:
            return 1000024;
        case 1000028:
            return 1000025;
        case 1000029:
            return 1000023;
        case 1000030:
            return 1000021;
        default:
            return std::nullopt;
    }
}

void CheckPageAction(std::uint32_t number) {
    const auto& calls = CallsMade();
    const auto color = ColorOfCategoryName(number & ~kItemNumberTag);
    if (!run->held || (number & kItemTagMask) != kTag || !color)
        return Require(calls.empty(), "a notice for no category name sends nothing");
    Require(calls.size() == 2 && IsCleanCall(calls[0], 10107) && IsCleanCall(calls[1], 10108) &&
                calls[0].param2 == 0 && calls[1].param2 == 0,
            "status query, then status change");
    const auto query = RecordOf<PageItem>(calls[0].record);
    const auto change = RecordOf<PageItem>(calls[1].record);
    Require(query.id == kTag + *color && query.parent == kPage && query.request == 1 &&
                query.mask == 0xFFFFFFFFu && query.size == kPageItemSize,
            "status query of the category's colour field");
    const std::uint32_t flipped = (run->statuses.at(0) & 0x2) ? 0 : 0x2;
    Require(change.id == kTag + *color && change.parent == kPage && change.request == 1 &&
                change.mask == 0x2 && change.kindOrStatus == flipped &&
                change.size == kPageItemSize,
            "status change flips bit 0x2 only");
}

void SendPageAction() {
    const std::uint8_t kind = run->input.TakeByte();
    if (kind % 8 == 0) {
        Require(Call(22200, 0) == 0, "22200 with no record answers 0");
        return RequireNoCalls();
    }
    std::uint32_t number = run->input.TakeU32();
    if (kind % 8 < 6) number = kTag + 1000021 + number % 30;  // near the plug-in's own items
    std::array<std::uint8_t, 74> record{};
    std::memcpy(record.data() + 2, &number, sizeof number);
    Require(Call(22200, reinterpret_cast<HostWord>(record.data())) == 0, "22200 answers 0");
    CheckPageAction(number);
}

// Every result handed out stays unchanged while the next nineteen are stored.
void CheckResults() {
    for (const Result& r : run->results)
        Require(r.expected == r.text, "a result within its life is unchanged");
}

void AddResult(const char* text) {
    for (const Result& r : run->results)
        Require(r.text != text, "each result takes storage of its own");
    run->results.push_back({text, text});
    if (run->results.size() > ResultRing::kSlots) run->results.pop_front();  // replaced now
}

// Bodies with markers inside tokens (comments, strings, at a block's end) and
// around the blocks, so that their results are worth handing back: the last
// one's result is copied into the ring again. Cheap to ask for, so that an
// input reaches twenty stored results.
constexpr std::array<std::string_view, 4> kBodiesKeepingMarkers = {
    "[delphi]{[delphi]}x := y & z;[/delphi]x[/delphi]",
    "a [delphi]begin s := '[delphi]'; end[/delphi] [/delphi] b",
    "[delphi]// [/delphi] [delphi]\n(* [delphi] *)[/delphi][/delphi]",
    "[/delphi] [delphi]x // [delphi][/delphi] [delphi]",
};

// The body of a message: text from the input, one of the bodies above, or an
// earlier result that is still valid, whole or from inside.
struct Body {
    std::string owned;
    const char* handedBack = nullptr;
    const char* Text() const { return handedBack ? handedBack : owned.c_str(); }
};

Body TakeBody(std::uint8_t kind) {
    constexpr std::size_t kLargestHandedBack = 1 << 15;  // the reference model is slow
    if (kind % 8 < 3 && !run->results.empty()) {
        const std::size_t age = run->input.TakeByte() % run->results.size();
        const Result& r = run->results[run->results.size() - 1 - age];
        const std::size_t offset = run->input.TakeU32() % (r.expected.size() + 1);
        if (r.expected.size() <= kLargestHandedBack) return {{}, r.text + offset};
    }
    if (kind % 8 == 3)
        return {std::string(
            kBodiesKeepingMarkers[run->input.TakeByte() % kBodiesKeepingMarkers.size()])};
    return {WithoutNul(run->input.TakeShortText())};
}

// Everything of the message but its body and flags.
bool SameButBodyAndFlags(ChatMessage a, ChatMessage b) {
    a.body = b.body = nullptr;
    a.flags = b.flags = 0;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void SendMessage() {
    const std::uint8_t kind = run->input.TakeByte();
    if (kind % 8 == 7) {
        Require(Call(20100, 0) == 1, "20100 with no message answers 1");
        return RequireNoCalls();
    }
    const Body body = TakeBody(kind);
    const std::string text = body.Text();
    const std::string newIdText = WithoutNul(run->input.TakeShortText());
    ChatMessage message{};
    message.size = static_cast<std::uint16_t>(run->input.TakeU32());
    message.unknown1[0] = run->input.TakeU32();
    message.unknownText1 = "14";
    message.newIdText = newIdText.c_str();
    message.body = body.Text();
    message.unknownText2 = "26";
    message.flags = run->input.TakeU32();
    message.unknown2[2] = static_cast<std::int32_t>(run->input.TakeU32());
    message.unknown2[5] = static_cast<std::int32_t>(run->input.TakeU32());
    const ChatMessage before = message;

    const std::intptr_t answer = Call(20100, reinterpret_cast<HostWord>(&message));
    const auto& calls = CallsMade();
    const bool intoCopy = (before.flags & 0x2) != 0;
    if (!reference::HoldsBothMarkers(text) || (intoCopy && !run->held)) {
        Require(answer == 1 && std::memcmp(&message, &before, sizeof message) == 0,
                "a message left alone answers 1 and is unchanged");
        return Require(calls.empty(), "a message left alone calls nothing");
    }
    const std::string expected = reference::RenderBody(text, reference::TagsOf(run->styles));
    // The output is final: a result handed back, whole or from inside, passes
    // unchanged, whatever the settings now (the module's output is held to
    // `expected` below).
    Require(!body.handedBack || expected == text, "a result handed back passes unchanged");
    Require(SameButBodyAndFlags(message, before), "only body and flags of the message change");
    if (!intoCopy) {
        Require(answer == 2 && message.flags == (before.flags | 0x200), "in place: 2, flag 0x200");
        Require(calls.empty(), "in place: no host call");
        Require(message.body == expected, "in place: the body is the reference rendering");
        return AddResult(message.body);
    }
    Require(answer == 1 && message.body == before.body && message.flags == (before.flags | 0x3000),
            "copy path: 1, body kept, flags 0x3000");
    Require(calls.size() == 2 && IsCleanCall(calls[0], 200) && IsCleanCall(calls[1], 10103),
            "copy path: call 200, then 10103");
    Require(
        calls[0].param1 == 10 && calls[0].param2 == reinterpret_cast<HostWord>(before.newIdText),
        "call 200 names the text at offset 18");
    Require(calls[1].param2 == 0, "call 10103 has no second parameter");
    const tools::ForwardedCopy& forwarded = run->held->Forwarded().back();
    const ForwardRecord& f = forwarded.record;
    Require(f.head.size == sizeof(ForwardRecord) && f.head.id == 250 && f.head.head1 == 3 &&
                f.head.head2 == static_cast<std::uint32_t>(run->newMessageId) &&
                f.head.head3 == 310 && f.head.head4 == 0 && f.zero == 0 && f.one == 1,
            "forward record");
    Require(SameButBodyAndFlags(forwarded.message, before) &&
                forwarded.message.flags == (before.flags | 0x200),
            "the copy is the message with flag 0x200");
    Require(forwarded.body == expected, "the copy's body is the reference rendering");
    AddResult(forwarded.message.body);
}

void CheckIdentity(std::uint32_t id, std::intptr_t answer) {
    static const std::map<std::uint32_t, std::intptr_t> kNumbers = {
        {30010, 1000}, {30011, 536}, {30015, 0}, {30017, 0}};
    static const std::map<std::uint32_t, std::string_view> kTexts = {
        {30012, "0.1a"}, {30013, "LUMARIX"}, {30014, "W98"}, {30016, "Lumarix"}};
    if (const auto n = kNumbers.find(id); n != kNumbers.end())
        return Require(answer == n->second, "identity number");
    const char* text = reinterpret_cast<const char*>(answer);
    Require(text != nullptr && kTexts.at(id) == text, "identity text");
    static std::map<std::uint32_t, const char*> seen;
    const auto [it, first] = seen.emplace(id, text);
    Require(it->second == text, "an identity text keeps its address");
    RequireNoCalls();
}

constexpr std::array<std::uint32_t, 18> kKnownIds = {20001, 20002, 20020, 20021, 20100, 21001,
                                                     21020, 22000, 22100, 22200, 30010, 30011,
                                                     30012, 30013, 30014, 30015, 30016, 30017};

bool IsKnown(std::uint32_t id) {
    for (std::uint32_t known : kKnownIds)
        if (known == id) return true;
    return false;
}

void HoldHost() {
    const std::uint8_t which = run->input.TakeByte() % 3;
    StandInHost* next = which < 2 ? &*run->hosts[which] : nullptr;
    const auto control = reinterpret_cast<HostWord>(next ? next->Control() : nullptr);
    Require(Call(20001, control, run->input.TakeU32()) == 1, "20001 answers 1");
    run->held = nullptr;  // nothing may be called during the hand-over
    RequireNoCalls();
    run->held = next;
}

void Step() {
    for (std::size_t k = 0; k < run->hosts.size(); ++k) {
        run->hosts[k]->ClearReceived();
        run->reports[k] = run->hosts[k]->UnhandledReports();
    }
    run->values.clear();
    run->statuses.clear();
    const std::uint8_t op = run->input.TakeByte();
    // Opcodes 0xF0 and up read a random id; the others pick a known one.
    const std::uint32_t id = op >= 0xF0 ? run->input.TakeU32() : kKnownIds[op % kKnownIds.size()];
    switch (id) {
        case 20001:
            return HoldHost();
        case 20002:
            Require(Call(20002) == 1, "20002 answers 1");
            RequireNoCalls();
            run->held = nullptr;
            return;
        case 20020:
            Require(Call(id) == 2, "20020 answers 2");
            return RequireNoCalls();
        case 20021:
            Require(Call(id) == 64, "20021 answers 64");
            return RequireNoCalls();
        case 20100:
            return SendMessage();
        case 21001:
            Require(Call(id) == 1, "21001 answers 1");
            return CheckRegistration();
        case 21020:
        case 22100:
            Require(Call(id) == (id == 21020 ? 0 : 1), "21020 answers 0, 22100 answers 1");
            return CheckRebuild();
        case 22000:
            Require(Call(id) == 1, "22000 answers 1");
            return CheckSettingsPage();
        case 22200:
            return SendPageAction();
        default:
            break;
    }
    if (id >= 30010 && id <= 30017) return CheckIdentity(id, Call(id));
    Require(!IsKnown(id), "every known id has its own check");
    const std::intptr_t answer = Call(id, run->input.TakeU32(), run->input.TakeU32());
    Require(answer == 0, "an unknown id answers 0");
    Require(CallsMade().empty(), "an unknown id sends nothing");
    if (run->held) Require(NewReports(*run->held) == 1, "an unknown id is reported once");
}

}  // namespace
}  // namespace lumarix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumarix;
    using namespace lumarix::fuzz;
    // The tags as the module was loaded with them, before any input ran.
    static const StyleTagSet kTagsAtLoad = styleTags;
    InputReader reader(data, size);
    Run current(reader);
    run = &current;
    for (std::optional<tools::StandInHost>& host : current.hosts) {
        host.emplace(&IMessageProc);
        host->OverrideAnswers(AnswerFromInput);
    }
    Call(20002);  // every input starts as a freshly loaded module
    styleTags = kTagsAtLoad;
    for (int steps = 0; steps < 64 && !reader.Empty(); ++steps) {
        Step();
        CheckResults();
    }
    Call(20002);  // the hosts go with this input
    run = nullptr;
    return 0;
}
