#include "tools/stand_in_host.h"

#include <cstring>
#include <sstream>

namespace lumarix::tools {
namespace {

constexpr std::uint32_t kItemTag = 0x11000000;
constexpr std::uint32_t kPageParent = 1000010;
constexpr std::uint32_t kCopyPathFlag = 0x2;

// Operations the plug-in never calls; present so the table has its full shape.
void UnusedOperation() {}

std::string Hex(HostWord value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

std::string BytesOf(const void* record, std::size_t size) {
    return std::string(static_cast<const char*>(record), size);
}

}  // namespace

bool IsTextAnswer(std::uint32_t id) {
    return id == 30012 || id == 30013 || id == 30014 || id == 30016;
}

namespace {}  // namespace

StandInHost::StandInHost(EntryPoint entry) : entry_(entry) {
    static const HostControlOps ops = {UnusedOperation, UnusedOperation, UnusedOperation,
                                       UnusedOperation, UnusedOperation, OnReportUnhandled,
                                       UnusedOperation, OnSendCall};
    control_.ops = &ops;
}

StandInHost& StandInHost::Of(HostControl* self) {
    // The control object is the first member of the host.
    return *reinterpret_cast<StandInHost*>(self);
}

std::intptr_t StandInHost::Call(std::uint32_t id, HostWord param1, HostWord param2) {
    HostCall call{};
    call.head.size = sizeof(HostCall);
    call.head.id = id;
    call.param1 = param1;
    call.param2 = param2;
    if (trace_)
        Trace("host -> plug-in " + std::to_string(id) + " (" + Hex(param1) + ", " + Hex(param2) +
              ")");
    const std::intptr_t answer = entry_(&call);
    if (trace_) {
        std::string line = "host <- plug-in " + std::to_string(id) + " = " + std::to_string(answer);
        if (IsTextAnswer(id) && answer)
            line += " \"" + std::string(reinterpret_cast<const char*>(answer)) + "\"";
        Trace(line);
    }
    return answer;
}

void StandInHost::Start() {
    Call(20001, reinterpret_cast<HostWord>(&control_), 0);
    for (std::uint32_t id = 30010; id <= 30017; ++id) Call(id);
    Call(21001);
    Call(21020);
    Call(22000);
}

void StandInHost::Stop() {
    Call(20002);
}

std::intptr_t StandInHost::SendMessage(const std::string& body, bool copy,
                                       std::string_view& result) {
    ChatMessage message{};
    message.size = sizeof(ChatMessage);
    message.text14 = "";
    message.text18 = "lumarix-host";
    message.body = body.c_str();
    message.text26 = "";
    message.flags = copy ? kCopyPathFlag : 0;
    message.field42 = -2;
    const std::size_t forwardedBefore = forwarded_.size();
    const std::intptr_t answer = Call(20100, reinterpret_cast<HostWord>(&message), 0);
    if (copy && forwarded_.size() > forwardedBefore)
        result = forwarded_.back().body;
    else
        result = message.body;
    return answer;
}

bool StandInHost::SetValue(const std::string& key, const std::string& value) {
    for (StoredColumn& c : columns_) {
        if (c.key != key) continue;
        c.value = value;
        return true;
    }
    return false;
}

const StoredColumn* StandInHost::FindColumn(std::uint32_t number) const {
    for (const StoredColumn& c : columns_)
        if (c.number == number) return &c;
    return nullptr;
}

StoredItem* StandInHost::FindItem(std::uint32_t number) {
    for (StoredItem& item : items_)
        if (item.record.id == kItemTag && item.record.number == number) return &item;
    return nullptr;
}

std::intptr_t LX_STDCALL StandInHost::OnReportUnhandled(HostControl* self, std::int32_t code) {
    StandInHost& host = Of(self);
    ++host.unhandledReports_;
    host.Trace("plug-in -> host ReportUnhandled(" + std::to_string(code) + ")");
    return 0;
}

std::intptr_t LX_STDCALL StandInHost::OnSendCall(HostControl* self, void* record) {
    return Of(self).Answer(record);
}

std::intptr_t StandInHost::Answer(void* record) {
    CallHead head;
    std::memcpy(&head, record, sizeof head);
    if (head.id == 1102) {
        const auto& column = *static_cast<const ColumnRecord*>(record);
        received_.push_back({head.id, 0, 0, BytesOf(record, sizeof(ColumnRecord))});
        return RegisterColumn(column);
    }
    auto& call = *static_cast<HostCall*>(record);
    ReceivedCall received{head.id, call.param1, call.param2, {}};
    void* target = reinterpret_cast<void*>(call.param1);
    switch (head.id) {
        case 10101:
        case 10106:
        case 10107:
        case 10108: {
            const auto* item = static_cast<const PageItem*>(target);
            received.record = BytesOf(
                item, item->size == kPageItemExtendedSize ? kPageItemExtendedSize : kPageItemSize);
            break;
        }
        case 10103:
            received.record = BytesOf(target, sizeof(ForwardRecord));
            break;
        default:
            break;
    }
    received_.push_back(std::move(received));
    const std::intptr_t answer = AnswerHostCall(head.id, call, target);
    if (trace_) Trace("plug-in -> host " + DescribeCall(head.id, call, target, answer));
    return answer;
}

std::string StandInHost::DescribeCall(std::uint32_t id, const HostCall& call, const void* target,
                                      std::intptr_t answer) const {
    std::string line = std::to_string(id) + " (" + Hex(call.param1) + ", " + Hex(call.param2) + ")";
    const auto* item = static_cast<const PageItem*>(target);
    switch (id) {
        case 10101:
            line += " create id " + Hex(item->id) + " kind " + Hex(item->itemKind) + " number " +
                    std::to_string(item->number) + " size " + std::to_string(item->size);
            break;
        case 10106:
            line += " value of " + std::to_string(item->id - kItemTag) + " = \"" +
                    reinterpret_cast<const char*>(answer) + "\"";
            break;
        case 10107:
        case 10108:
            line += " status of " + std::to_string(item->id - kItemTag) + " = " +
                    Hex(item->itemKind) + " mask " + Hex(item->mask);
            break;
        default:
            break;
    }
    return line + " = " + std::to_string(answer);
}

std::intptr_t StandInHost::AnswerHostCall(std::uint32_t id, HostCall& call, void* target) {
    switch (id) {
        case 200:
            return AnswerForwardHeader();
        case 10101:
            return CreateItem(*static_cast<const PageItem*>(target));
        case 10103:
            return TakeForwardedCopy(*static_cast<const ForwardRecord*>(target));
        case 10106:
            return AnswerValueQuery(*static_cast<const PageItem*>(target));
        case 10107:
            return AnswerStatusQuery(*static_cast<PageItem*>(target));
        case 10108:
            return ChangeStatus(*static_cast<const PageItem*>(target));
        case 10109:
            iconItem_ = static_cast<std::uint32_t>(call.param1);
            iconResource_ = static_cast<std::uint32_t>(call.param2);
            return 0;
        default:
            return 0;
    }
}

std::intptr_t StandInHost::RegisterColumn(const ColumnRecord& record) {
    StoredColumn column{record.column, record.key ? record.key : "", record.type == 1, {}, {}};
    column.defaultValue = column.isText
                              ? std::string(reinterpret_cast<const char*>(record.defaultValue))
                              : std::to_string(record.defaultValue);
    Trace("plug-in -> host 1102 column " + std::to_string(column.number) + " " + column.key +
          " = " + column.defaultValue);
    for (StoredColumn& c : columns_) {
        if (c.number != column.number) continue;
        c.key = column.key, c.isText = column.isText, c.defaultValue = column.defaultValue;
        return 1;  // registered again: the stored value stays
    }
    column.value = column.defaultValue;
    columns_.push_back(std::move(column));
    return 1;
}

std::intptr_t StandInHost::AnswerValueQuery(const PageItem& query) {
    static const char kEmpty[] = "";
    const StoredColumn* column =
        query.parent == kPageParent ? FindColumn(query.id - kItemTag) : nullptr;
    return reinterpret_cast<std::intptr_t>(column ? column->value.c_str() : kEmpty);
}

std::intptr_t StandInHost::CreateItem(const PageItem& item) {
    StoredItem stored{};
    std::memcpy(&stored.record, &item,
                item.size == kPageItemExtendedSize ? kPageItemExtendedSize : kPageItemSize);
    if (item.text) stored.text = item.text;
    items_.push_back(std::move(stored));
    return 1;
}

std::intptr_t StandInHost::AnswerStatusQuery(PageItem& query) {
    const StoredItem* item = query.parent == kPageParent ? FindItem(query.id - kItemTag) : nullptr;
    query.itemKind = item ? item->status : 0;
    return 1;
}

std::intptr_t StandInHost::ChangeStatus(const PageItem& change) {
    StoredItem* item = change.parent == kPageParent ? FindItem(change.id - kItemTag) : nullptr;
    if (!item) return 0;
    item->status = (item->status & ~change.mask) | (change.itemKind & change.mask);
    return 1;
}

std::intptr_t StandInHost::AnswerForwardHeader() {
    return nextForwardId_++;
}

std::intptr_t StandInHost::TakeForwardedCopy(const ForwardRecord& record) {
    ForwardedCopy copy{record, *record.message, record.message->body ? record.message->body : ""};
    forwarded_.push_back(std::move(copy));
    return 1;
}

void StandInHost::Trace(const std::string& line) const {
    if (trace_) trace_(line);
}

}  // namespace lumarix::tools
