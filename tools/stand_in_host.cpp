#include "tools/stand_in_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "host/protocol.h"

namespace lumarix::tools {
namespace {

// Operations the plug-in never calls; present so the table has its full shape.
void UnusedOperation() {}

std::string BytesOf(const void* record, std::size_t size) {
    return std::string(static_cast<const char*>(record), size);
}

// The bytes of a page item the plug-in passed: its size field tells the form.
std::size_t SizeOf(const PageItem& item) {
    return item.size == kPageItemExtendedSize ? kPageItemExtendedSize : kPageItemSize;
}

}  // namespace

std::string Hex(std::uint64_t value) {
    char text[24];
    return std::string(
        text, std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value)));
}

bool IsTextAnswer(std::uint32_t id) {
    return id == kCallVersionText || id == kCallNameInCapitals || id == kCallPlatformText ||
           id == kCallNameText;
}

StandInHost::StandInHost(EntryPoint entry) : entry_(entry) {
    static const HostControlOps ops = {UnusedOperation, UnusedOperation, UnusedOperation,
                                       UnusedOperation, UnusedOperation, OnReportUnhandled,
                                       UnusedOperation, OnSendCall};
    control_ = {{&ops}, this};
}

StandInHost& StandInHost::Of(HostControl* self) {
    static_assert(std::is_standard_layout_v<ControlBlock>);
    return *reinterpret_cast<ControlBlock*>(self)->host;
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
    Call(kCallHoldControl, reinterpret_cast<HostWord>(Control()), 0);
    for (std::uint32_t id = kCallPluginNumber; id <= kCallReserved17; ++id) Call(id);
    Call(kCallRegisterColumns);
    Call(kCallSettingsLoaded);
    Call(kCallBuildPage);
}

void StandInHost::Stop() {
    Call(kCallDropControl);
}

std::intptr_t StandInHost::SendMessage(const std::string& body, bool copy,
                                       std::string_view& result) {
    ChatMessage message{};
    message.size = sizeof(ChatMessage);
    message.unknownText1 = "";
    message.newIdText = "lumarix-host";
    message.body = body.c_str();
    message.unknownText2 = "";
    message.flags = copy ? kFlagRewriteIntoCopy : 0;
    message.unknown2[2] = -2;  // as in a message the messenger makes new
    const std::size_t forwardedBefore = forwarded_.size();
    const std::intptr_t answer = Call(kCallMessage, reinterpret_cast<HostWord>(&message), 0);
    if (copy && forwarded_.size() > forwardedBefore)
        result = forwarded_.back().body;
    else
        result = message.body;
    return answer;
}

bool StandInHost::SetValue(const std::string& key, const std::string& value) {
    const auto column = std::find_if(columns_.begin(), columns_.end(),
                                     [&](const StoredColumn& c) { return c.key == key; });
    if (column == columns_.end()) return false;
    column->value = value;
    return true;
}

const StoredColumn* StandInHost::FindColumn(std::uint32_t number) const {
    for (const StoredColumn& c : columns_)
        if (c.number == number) return &c;
    return nullptr;
}

StoredItem* StandInHost::FindItem(std::uint32_t number) {
    for (StoredItem& item : items_)
        if (item.record.id == kItemNumberTag && item.record.number == number) return &item;
    return nullptr;
}

StoredItem* StandInHost::FindNamedItem(const PageItem& query) {
    return query.parent == kSettingsPageId ? FindItem(query.id - kItemNumberTag) : nullptr;
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
    if (head.id == kSendDeclareColumn) {
        const std::string bytes = BytesOf(record, sizeof(ColumnRecord));
        received_.push_back({head.id, 0, 0, bytes, bytes});
        if (override_)
            if (const auto answer = override_(head.id, record)) return *answer;
        return RegisterColumn(*static_cast<const ColumnRecord*>(record));
    }
    auto& call = *static_cast<HostCall*>(record);
    ReceivedCall received{head.id, call.param1, call.param2, {}, BytesOf(record, sizeof call)};
    void* target = reinterpret_cast<void*>(call.param1);
    if (head.id == kSendCreateItem || head.id == kSendQueryValue || head.id == kSendQueryStatus ||
        head.id == kSendChangeStatus)
        received.record = BytesOf(target, SizeOf(*static_cast<const PageItem*>(target)));
    else if (head.id == kSendRecord)
        received.record = BytesOf(target, sizeof(ForwardRecord));
    received_.push_back(std::move(received));
    std::optional<std::intptr_t> overridden;
    if (override_) overridden = override_(head.id, target);
    const std::intptr_t answer = overridden ? *overridden : AnswerHostCall(head.id, call, target);
    if (trace_) Trace("plug-in -> host " + DescribeCall(head.id, call, target, answer));
    return answer;
}

std::string StandInHost::DescribeCall(std::uint32_t id, const HostCall& call, const void* target,
                                      std::intptr_t answer) const {
    std::string line = std::to_string(id) + " (" + Hex(call.param1) + ", " + Hex(call.param2) + ")";
    const auto* item = static_cast<const PageItem*>(target);
    switch (id) {
        case kSendCreateItem:
            line += " create id " + Hex(item->id) + " kind " + Hex(item->kindOrStatus) +
                    " number " + std::to_string(item->number) + " size " +
                    std::to_string(item->size);
            break;
        case kSendQueryValue:
            line += " value of " + std::to_string(item->id - kItemNumberTag) + " = \"" +
                    reinterpret_cast<const char*>(answer) + "\"";
            break;
        case kSendQueryStatus:
        case kSendChangeStatus:
            line += " status of " + std::to_string(item->id - kItemNumberTag) + " = " +
                    Hex(item->kindOrStatus) + " mask " + Hex(item->mask);
            break;
        default:
            break;
    }
    return line + " = " + std::to_string(answer);
}

std::intptr_t StandInHost::AnswerHostCall(std::uint32_t id, HostCall& call, void* target) {
    auto* item = static_cast<PageItem*>(target);
    switch (id) {
        case kSendNewMessageId:
            return nextForwardId_++;
        case kSendCreateItem: {
            StoredItem& stored = items_.emplace_back();
            std::memcpy(&stored.record, item, SizeOf(*item));
            if (item->text) stored.text = item->text;
            return 1;
        }
        case kSendRecord: {
            const auto& forward = *static_cast<const ForwardRecord*>(target);
            const char* body = forward.message->body;
            forwarded_.push_back({forward, *forward.message, body ? body : ""});
            return 1;
        }
        case kSendQueryValue: {
            static const char kEmpty[] = "";
            const StoredColumn* column =
                item->parent == kSettingsPageId ? FindColumn(item->id - kItemNumberTag) : nullptr;
            return reinterpret_cast<std::intptr_t>(column ? column->value.c_str() : kEmpty);
        }
        case kSendQueryStatus: {
            const StoredItem* stored = FindNamedItem(*item);
            item->kindOrStatus = stored ? stored->status : 0;
            return 1;
        }
        case kSendChangeStatus: {
            StoredItem* stored = FindNamedItem(*item);
            if (!stored) return 0;
            stored->status = (stored->status & ~item->mask) | (item->kindOrStatus & item->mask);
            return 1;
        }
        case kSendPageIcon:
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

void StandInHost::Trace(const std::string& line) const {
    if (trace_) trace_(line);
}

}  // namespace lumarix::tools
