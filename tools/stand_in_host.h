// A host that drives the plug-in through its entry point and answers the
// plug-in's calls as the messenger would: a settings store, the page items
// with their statuses, and the copies the plug-in forwards.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/records.h"
#include "tools/module_loader.h"

namespace lumarix::tools {

struct StoredColumn {
    std::uint32_t number;
    std::string key;
    bool isText;
    std::string defaultValue;
    std::string value;
};

struct StoredItem {
    PageItem record;   // as the plug-in created it (size tells the form)
    std::string text;  // the item's text, copied; empty when it had none
    std::uint32_t status = 0;
};

struct ForwardedCopy {
    ForwardRecord record;  // as received; its message pointer is stale afterwards
    ChatMessage message;   // the copy's 58 bytes as received
    std::string body;      // the copy's body text
};

// One call the plug-in made, with the bytes of the records it passed.
struct ReceivedCall {
    std::uint32_t id;
    HostWord param1;
    HostWord param2;
    std::string record;  // bytes of the record param1 points at, when it is one
    std::string sent;    // bytes of the record handed over: a HostCall, or a ColumnRecord
};

// "0x" and the value's hexadecimal digits, upper case.
std::string Hex(std::uint64_t value);

// Whether the identity call `id` answers with the address of a text.
bool IsTextAnswer(std::uint32_t id);

class StandInHost {
  public:
    explicit StandInHost(EntryPoint entry);
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // Calls IMessageProc with a fresh HostCall.
    std::intptr_t Call(std::uint32_t id, HostWord param1 = 0, HostWord param2 = 0);

    // 20001, the identity calls, 21001, 21020 and 22000, as the messenger does at start.
    void Start();
    // 20002.
    void Stop();

    // Sends a body through 20100. Returns the answer; `result` shows the body the
    // user would see: the replaced body (held by the plug-in, valid for its next
    // nineteen rewrites), or with `copy` the forwarded copy's (held by the host).
    std::intptr_t SendMessage(const std::string& body, bool copy, std::string_view& result);

    // Settings store. False when no column has that key.
    bool SetValue(const std::string& key, const std::string& value);
    const StoredColumn* FindColumn(std::uint32_t number) const;
    const std::vector<StoredColumn>& Columns() const noexcept { return columns_; }

    const std::vector<StoredItem>& Items() const noexcept { return items_; }
    StoredItem* FindItem(std::uint32_t number);
    std::uint32_t IconItem() const noexcept { return iconItem_; }
    std::uint32_t IconResource() const noexcept { return iconResource_; }

    const std::vector<ForwardedCopy>& Forwarded() const noexcept { return forwarded_; }
    const std::vector<ReceivedCall>& Received() const noexcept { return received_; }
    int UnhandledReports() const noexcept { return unhandledReports_; }
    void ClearReceived() noexcept { received_.clear(); }
    void ClearForwarded() noexcept { forwarded_.clear(); }

    // Every call both ways, one line each, to this sink (for --trace).
    void SetTrace(std::function<void(const std::string&)> sink) { trace_ = std::move(sink); }

    // Lets a test answer the plug-in's calls: given the call's id and the record
    // its first parameter points at (for 1102, the ColumnRecord), it returns the
    // answer, or nothing to leave the call to this host. Every call is recorded.
    using AnswerOverride = std::function<std::optional<std::intptr_t>(std::uint32_t, void*)>;
    void OverrideAnswers(AnswerOverride answer) { override_ = std::move(answer); }

    HostControl* Control() noexcept { return &control_.control; }

  private:
    // What the plug-in holds: the control, then its host. Standard layout, so a
    // pointer to the first member is a pointer to the block.
    struct ControlBlock {
        HostControl control;
        StandInHost* host;
    };

    static std::intptr_t LX_STDCALL OnReportUnhandled(HostControl* self, std::int32_t code);
    static std::intptr_t LX_STDCALL OnSendCall(HostControl* self, void* record);
    static StandInHost& Of(HostControl* self);

    std::intptr_t Answer(void* record);
    std::intptr_t AnswerHostCall(std::uint32_t id, HostCall& call, void* target);
    std::string DescribeCall(std::uint32_t id, const HostCall& call, const void* target,
                             std::intptr_t answer) const;
    std::intptr_t RegisterColumn(const ColumnRecord& record);
    // The stored item a settings-page record names; null when none.
    StoredItem* FindNamedItem(const PageItem& query);
    void Trace(const std::string& line) const;

    ControlBlock control_;
    EntryPoint entry_;
    std::vector<StoredColumn> columns_;
    std::vector<StoredItem> items_;
    std::vector<ForwardedCopy> forwarded_;
    std::vector<ReceivedCall> received_;
    std::uint32_t iconItem_ = 0;
    std::uint32_t iconResource_ = 0;
    std::uint32_t nextForwardId_ = 4000;
    int unhandledReports_ = 0;
    std::function<void(const std::string&)> trace_;
    AnswerOverride override_;
};

}  // namespace lumarix::tools
