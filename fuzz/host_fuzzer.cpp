// Any sequence of host calls into IMessageProc, against two fake hosts whose
// answers (value texts, null included, item statuses, the answer of call 200)
// also come from the fuzz input.
//
// Each step reads an opcode: one of the known call ids, or (opcodes 0xF0
// and up) a random id read from the input, then the call's parameters. Every
// answer must be the one the dispatch table gives; the plug-in must call only
// the held host, and exactly the calls that the table's operation makes, with
// well-formed records; nothing else may change.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "highlight/formatter.h"
#include "highlight/style_tags.h"
#include "host/protocol.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "host/settings_page.h"

extern "C" std::intptr_t LX_STDCALL IMessageProc(lumarix::HostCall* call);

namespace lumarix::fuzz {
namespace {

constexpr std::uint32_t kTag = kItemNumberTag;
constexpr std::uint32_t kPage = kSettingsPageId;
constexpr std::uint32_t kFirstSwitchColumn = 1000031;

InputReader* input = nullptr;  // the current fuzz input, which the fake hosts answer from

// One call the plug-in made to a fake host.
struct ReceivedCall {
    std::uint32_t id = 0;
    std::uint16_t size = 0;
    HostWord param1 = 0;
    HostWord param2 = 0;
    std::intptr_t answer = 0;
    bool headWordsZero = false;
    ColumnRecord column{};
    PageItem item{};
    std::optional<std::string> valueAnswered;  // 10106: the text given, none for null
    std::uint32_t statusGiven = 0;             // 10107
    ForwardRecord forward{};
    ChatMessage copy{};
    std::string copyBody;
};

struct FakeHost {
    HostControl control;  // first: the plug-in sees the host as its control object
    std::vector<ReceivedCall> calls;
    std::vector<std::int32_t> reports;
    std::deque<std::string> texts;  // keeps answered texts alive during the call
};

std::intptr_t LX_STDCALL OnReportUnhandled(HostControl* self, std::int32_t code) {
    reinterpret_cast<FakeHost*>(self)->reports.push_back(code);
    return 0;
}

std::optional<std::string> PickValueText() {
    switch (input->TakeByte() % 6) {
        case 0:
            return std::nullopt;
        case 1:
            return "1";
        case 2:
            return "0";
        case 3:
            return "";
        default:
            return WithoutNul(input->TakeShortText());
    }
}

void AnswerCall(FakeHost& host, void* record, ReceivedCall& call) {
    void* target = reinterpret_cast<void*>(call.param1);
    switch (call.id) {
        case 10101:
        case 10108: {
            const std::uint16_t size = static_cast<const PageItem*>(target)->size;
            Require(size == kPageItemSize || size == kPageItemExtendedSize, "page item size");
            std::memcpy(&call.item, target, size);
            call.answer = input->TakeByte();
            break;
        }
        case 10106: {
            std::memcpy(&call.item, target, kPageItemSize);
            call.valueAnswered = PickValueText();
            const char* text = nullptr;
            if (call.valueAnswered) text = host.texts.emplace_back(*call.valueAnswered).c_str();
            call.answer = reinterpret_cast<std::intptr_t>(text);
            break;
        }
        case 10107: {
            auto* query = static_cast<PageItem*>(target);
            std::memcpy(&call.item, query, kPageItemSize);
            call.statusGiven = input->TakeU32();
            query->kindOrStatus = call.statusGiven;
            call.answer = input->TakeByte();
            break;
        }
        case 10103: {
            std::memcpy(&call.forward, target, sizeof(ForwardRecord));
            std::memcpy(&call.copy, call.forward.message, sizeof(ChatMessage));
            call.copyBody = call.copy.body ? call.copy.body : "";
            call.answer = input->TakeByte();
            break;
        }
        case 1102:
            std::memcpy(&call.column, record, sizeof(ColumnRecord));
            call.answer = input->TakeByte();
            break;
        default:
            call.answer = static_cast<std::int32_t>(input->TakeU32());
            break;
    }
}

std::intptr_t LX_STDCALL OnSendCall(HostControl* self, void* record) {
    auto& host = *reinterpret_cast<FakeHost*>(self);
    CallHead head;
    std::memcpy(&head, record, sizeof head);
    ReceivedCall call;
    call.id = head.id;
    call.size = head.size;
    call.headWordsZero = head.head1 == 0 && head.head2 == 0 && head.head3 == 0 && head.head4 == 0;
    if (head.id != 1102) {
        const auto* hostCall = static_cast<const HostCall*>(record);
        call.param1 = hostCall->param1;
        call.param2 = hostCall->param2;
    }
    AnswerCall(host, record, call);
    host.calls.push_back(std::move(call));
    return host.calls.back().answer;
}

void Unused() {}

const HostControlOps kOps = {Unused, Unused,    Unused, Unused, Unused, OnReportUnhandled,
                             Unused, OnSendCall};

// Static, so that a control left held by one input never dangles in the next.
FakeHost hostA{{&kOps}, {}, {}, {}};
FakeHost hostB{{&kOps}, {}, {}, {}};
FakeHost* held = nullptr;

std::intptr_t Call(std::uint32_t id, HostWord param1 = 0, HostWord param2 = 0) {
    HostCall call{{sizeof(HostCall), id, 0, 0, 0, 0}, param1, param2};
    return IMessageProc(&call);
}

// Calls made by the last IMessageProc, from the held host; checks that the
// other host got nothing.
const std::vector<ReceivedCall>& CallsMade() {
    static const std::vector<ReceivedCall> none;
    for (FakeHost* host : {&hostA, &hostB})
        if (host != held)
            Require(host->calls.empty() && host->reports.empty(), "only the held host is called");
    return held ? held->calls : none;
}

void RequireNoCalls() {
    Require(CallsMade().empty() && (!held || held->reports.empty()), "no host call");
}

void CheckRegistration() {
    const auto& calls = CallsMade();
    if (!held) return Require(calls.empty(), "no registration without a host");
    Require(calls.size() == kSettingsColumns.size(), "twenty columns are registered");
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const ReceivedCall& call = calls[k];
        const SettingsColumn& expected = kSettingsColumns[k];
        const ColumnRecord& r = call.column;
        Require(call.id == 1102 && call.size == sizeof(ColumnRecord) && call.headWordsZero,
                "a registration is a 1102 record with a clean head");
        Require(r.reserved == 0 && r.column == expected.column, "columns in table order");
        Require(r.type == (expected.isText ? 1u : 0u), "column type");
        Require(std::strcmp(r.key, expected.key) == 0, "column key");
        if (expected.isText)
            Require(std::strcmp(reinterpret_cast<const char*>(r.defaultValue),
                                expected.defaultText) == 0,
                    "text column default");
        else
            Require(r.defaultValue == expected.defaultInt, "integer column default");
    }
}

// The value every column read gave: from the host's answers, or the
// registered defaults when no host is held.
std::map<std::uint32_t, std::string> ValuesRead() {
    std::map<std::uint32_t, std::string> values;
    const auto& calls = CallsMade();
    if (!held) {
        for (const SettingsColumn& c : kSettingsColumns)
            values[c.column] = c.isText ? c.defaultText : (c.defaultInt ? "1" : "0");
        return values;
    }
    constexpr std::array<std::uint32_t, 5> kColorOrder = {1000025, 1000023, 1000021, 1000022,
                                                          1000024};
    Require(calls.size() == 20, "a rebuild reads twenty columns");
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const ReceivedCall& call = calls[k];
        const std::uint32_t column =
            k < 15 ? kFirstSwitchColumn + std::uint32_t(k) : kColorOrder[k - 15];
        const PageItem& q = call.item;
        Require(call.id == 10106 && call.size == sizeof(HostCall) && call.headWordsZero &&
                    call.param2 == 0,
                "a value query is call 10106");
        Require(q.size == kPageItemSize && q.id == kTag + column && q.parent == kPage &&
                    q.leadWord == -2 && q.creationLeadWord == 0 && q.unknown1[1] == 0 &&
                    q.request == 0x10040 && q.text == nullptr && q.unknown3 == 0,
                "value query record, switches first, then the colours");
        values[column] = call.valueAnswered.value_or("");  // a null answer reads as empty
    }
    return values;
}

void CheckStyleTags(const std::map<std::uint32_t, std::string>& values) {
    struct Expected {
        Category category;
        std::uint32_t color;
        std::uint32_t group;
    };
    constexpr std::array<Expected, 5> kCategories = {{
        {Category::Comments, 1000021, 3},
        {Category::Key_words, 1000022, 4},
        {Category::Strings, 1000025, 0},
        {Category::Numbers, 1000023, 2},
        {Category::Operators, 1000024, 1},
    }};
    for (const Expected& e : kCategories) {
        const CategoryTags& tags = styleTags[e.category];
        Require(tags.colorOpen == "<font color=\"" + values.at(e.color) + "\">", "colour tag");
        auto on = [&](std::uint32_t sw) {
            return values.at(kFirstSwitchColumn + 3 * e.group + sw) == "1";
        };
        Require(tags.boldOpen == (on(0) ? "<b>" : "") && tags.boldClose == (on(0) ? "</b>" : ""),
                "bold pair");
        Require(
            tags.italicOpen == (on(1) ? "<i>" : "") && tags.italicClose == (on(1) ? "</i>" : ""),
            "italic pair");
        Require(tags.underlineOpen == (on(2) ? "<u>" : "") &&
                    tags.underlineClose == (on(2) ? "</u>" : ""),
                "underline pair");
    }
}

void CheckSettingsPage() {
    const auto& calls = CallsMade();
    if (!held) return Require(calls.empty(), "no page without a host");
    Require(calls.size() == 1 + kPageItems.size(), "call 10109 and 31 creations");
    Require(calls[0].id == 10109 && calls[0].param1 == 1000060 && calls[0].param2 == 100,
            "the page's icon first");
    for (std::size_t k = 0; k < kPageItems.size(); ++k) {
        const ReceivedCall& call = calls[k + 1];
        const PageItemRow& row = kPageItems[k];
        const PageItem& item = call.item;
        Require(call.id == 10101 && call.param2 == 0 && call.headWordsZero, "a creation is 10101");
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
    if (!held || (number & kItemTagMask) != kTag || !color)
        return Require(calls.empty(), "a notice for no category name sends nothing");
    Require(calls.size() == 2 && calls[0].id == 10107 && calls[1].id == 10108,
            "status query, then status change");
    const PageItem& query = calls[0].item;
    const PageItem& change = calls[1].item;
    Require(query.id == kTag + *color && query.parent == kPage && query.request == 1 &&
                query.mask == 0xFFFFFFFFu && query.size == kPageItemSize,
            "status query of the category's colour field");
    const std::uint32_t flipped = (calls[0].statusGiven & 0x2) ? 0 : 0x2;
    Require(change.id == kTag + *color && change.parent == kPage && change.request == 1 &&
                change.mask == 0x2 && change.kindOrStatus == flipped &&
                change.size == kPageItemSize,
            "status change flips bit 0x2 only");
}

void SendPageAction() {
    const std::uint8_t kind = input->TakeByte();
    if (kind % 8 == 0) {
        Require(Call(22200, 0) == 0, "22200 with no record answers 0");
        return RequireNoCalls();
    }
    std::uint32_t number = input->TakeU32();
    if (kind % 8 < 6) number = kTag + 1000021 + number % 30;  // near the plug-in's own items
    std::array<std::uint8_t, 74> record{};
    std::memcpy(record.data() + 2, &number, sizeof number);
    Require(Call(22200, reinterpret_cast<HostWord>(record.data())) == 0, "22200 answers 0");
    CheckPageAction(number);
}

// Everything of the message but its body and flags.
bool SameButBodyAndFlags(ChatMessage a, ChatMessage b) {
    a.body = b.body = nullptr;
    a.flags = b.flags = 0;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string ExpectedBody(const std::string& body) {
    return FormatBody(body.c_str());
}

void SendMessage() {
    const std::uint8_t kind = input->TakeByte();
    if (kind % 8 == 0) {
        Require(Call(20100, 0) == 1, "20100 with no message answers 1");
        return RequireNoCalls();
    }
    const std::string body = WithoutNul(input->TakeShortText());
    const std::string newIdText = WithoutNul(input->TakeShortText());
    ChatMessage message{};
    message.size = static_cast<std::uint16_t>(input->TakeU32());
    message.unknown1[0] = input->TakeU32();
    message.unknownText1 = "14";
    message.newIdText = newIdText.c_str();
    message.body = body.c_str();
    message.unknownText2 = "26";
    message.flags = input->TakeU32();
    message.unknown2[2] = static_cast<std::int32_t>(input->TakeU32());
    message.unknown2[5] = static_cast<std::int32_t>(input->TakeU32());
    const ChatMessage before = message;

    const std::intptr_t answer = Call(20100, reinterpret_cast<HostWord>(&message));
    const auto& calls = CallsMade();
    const bool bothMarkers =
        body.find(kOpenMarker) != std::string::npos && body.find(kCloseMarker) != std::string::npos;
    const bool intoCopy = (before.flags & 0x2) != 0;
    if (!bothMarkers || (intoCopy && !held)) {
        Require(answer == 1 && std::memcmp(&message, &before, sizeof message) == 0,
                "a message left alone answers 1 and is unchanged");
        return Require(calls.empty(), "a message left alone calls nothing");
    }
    Require(SameButBodyAndFlags(message, before), "only body and flags of the message change");
    if (!intoCopy) {
        Require(answer == 2 && message.flags == (before.flags | 0x200), "in place: 2, flag 0x200");
        Require(calls.empty(), "in place: no host call");
        Require(message.body != before.body && message.body == ExpectedBody(body),
                "in place: the body is the rewritten text");
        return;
    }
    Require(answer == 1 && message.body == before.body && message.flags == (before.flags | 0x3000),
            "copy path: 1, body kept, flags 0x3000");
    Require(calls.size() == 2 && calls[0].id == 200 && calls[1].id == 10103,
            "copy path: call 200, then 10103");
    Require(
        calls[0].param1 == 10 && calls[0].param2 == reinterpret_cast<HostWord>(before.newIdText),
        "call 200 names the text at offset 18");
    const ForwardRecord& f = calls[1].forward;
    Require(f.head.size == sizeof(ForwardRecord) && f.head.id == 250 && f.head.head1 == 3 &&
                f.head.head2 == static_cast<std::uint32_t>(calls[0].answer) &&
                f.head.head3 == 310 && f.head.head4 == 0 && f.zero == 0 && f.one == 1,
            "forward record");
    const ChatMessage& copy = calls[1].copy;
    Require(SameButBodyAndFlags(copy, before) && copy.flags == (before.flags | 0x200),
            "the copy is the message with flag 0x200");
    Require(calls[1].copyBody == ExpectedBody(body), "the copy carries the rewritten body");
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

void Step() {
    for (FakeHost* host : {&hostA, &hostB})
        host->calls.clear(), host->reports.clear(), host->texts.clear();
    const std::uint8_t op = input->TakeByte();
    // Opcodes 0xF0 and up read a random id; the others pick a known one.
    const std::uint32_t id = op >= 0xF0 ? input->TakeU32() : kKnownIds[op % kKnownIds.size()];
    switch (id) {
        case 20001: {
            const std::uint8_t which = input->TakeByte() % 3;
            FakeHost* next = which == 0 ? &hostA : which == 1 ? &hostB : nullptr;
            Require(Call(20001, reinterpret_cast<HostWord>(next), input->TakeU32()) == 1,
                    "20001 answers 1");
            held = nullptr;  // nothing may be called during the hand-over
            RequireNoCalls();
            held = next;
            return;
        }
        case 20002:
            Require(Call(20002) == 1, "20002 answers 1");
            RequireNoCalls();
            held = nullptr;
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
            return CheckStyleTags(ValuesRead());
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
    const std::intptr_t answer = Call(id, input->TakeU32(), input->TakeU32());
    Require(answer == 0, "an unknown id answers 0");
    Require(CallsMade().empty(), "an unknown id sends nothing");
    if (held)
        Require(held->reports == std::vector<std::int32_t>{1},
                "an unknown id is reported once with 1");
}

}  // namespace
}  // namespace lumarix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumarix::fuzz;
    InputReader reader(data, size);
    input = &reader;
    Call(20002);  // every input starts with no host held
    held = nullptr;
    for (int steps = 0; steps < 64 && !reader.Empty(); ++steps) Step();
    input = nullptr;
    return 0;
}
