// Records that cross the host boundary. All are packed and little-endian and
// open with their own length as a 16-bit count.
//
// On the 32-bit target every field is as wide as the host's tables say, and
// the layout is checked below. Fields that carry an address are declared as
// pointers or as HostWord (uintptr_t), so on a 64-bit build they widen to 64
// bits and every later offset moves by 4 bytes per widened field; the records
// stay packed and keep their field order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/platform.h"

namespace lumarix {

using HostWord = std::uintptr_t;  // a number or an address

#pragma pack(push, 1)

// The 22-byte head that opens HostCall, ColumnRecord and ForwardRecord. The
// plug-in's records leave the head words 0 unless they say otherwise.
struct CallHead {
    std::uint16_t size;
    std::uint32_t id;
    std::uint32_t head1 = 0;
    std::uint32_t head2 = 0;
    std::uint32_t head3 = 0;
    std::uint32_t head4 = 0;
};

struct HostCall {
    CallHead head;
    HostWord param1;
    HostWord param2;
};

struct ChatMessage {
    std::uint16_t size;
    std::uint32_t field2;
    std::uint32_t field6;
    std::uint32_t field10;
    const char* text14;
    const char* text18;  // handed to the host in call 200
    const char* body;
    const char* text26;
    std::uint32_t flags;
    std::uint32_t field34;
    std::uint32_t field38;
    std::int32_t field42;
    std::uint32_t field46;
    std::uint32_t field50;
    std::uint32_t field54;
};

struct ForwardRecord {
    CallHead head;
    std::uint8_t unset22[2] = {};
    ChatMessage* message;
    std::uint32_t zero;
    std::uint8_t one;
    std::uint8_t unset33[3] = {};
};

struct ColumnRecord {
    CallHead head;
    std::uint8_t reserved;
    std::uint32_t column;
    std::uint32_t type;
    HostWord defaultValue;  // the default text's address, or the integer itself
    const char* key;
};

// One settings-page item: a creation (74 bytes, or 78 with `indent`), a status
// query or change, or a value query (74 bytes).
struct PageItem {
    std::uint16_t size;
    std::uint32_t id;
    std::uint32_t parent;
    std::int32_t field10;
    std::int32_t field14;
    std::uint32_t field18;
    std::uint32_t field22;
    std::uint32_t field26;
    std::uint32_t request;
    std::uint32_t itemKind;  // the status, in status queries and changes
    std::uint32_t mask;
    std::uint32_t field42;
    std::uint32_t field46;
    const char* text;
    std::uint32_t field54;
    std::uint32_t field58;
    std::uint32_t number;
    std::uint32_t field66;
    std::uint16_t field70;
    std::uint16_t field72;
    std::uint16_t indent;  // extended form only
    std::uint16_t field76;
};

#pragma pack(pop)

// The host's control object: its first word points at a table of operations,
// each taking the object first and removing its own arguments. The plug-in
// uses positions 5 and 7 only; the others are the host's business.
struct HostControl;
using ReportUnhandledOp = std::intptr_t(LX_STDCALL*)(HostControl* self, std::int32_t code);
using SendCallOp = std::intptr_t(LX_STDCALL*)(HostControl* self, void* record);
using OtherOp = void (*)();

struct HostControlOps {
    OtherOp op0, op1, op2, op3, op4;
    ReportUnhandledOp reportUnhandled;  // position 5
    OtherOp op6;
    SendCallOp sendCall;  // position 7
};

struct HostControl {
    const HostControlOps* ops;
};

// Record sizes as sent: the 74-byte PageItem form leaves out `indent`.
inline constexpr std::uint16_t kPageItemSize = offsetof(PageItem, indent);
inline constexpr std::uint16_t kPageItemExtendedSize = sizeof(PageItem);

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit layout must match the host byte for byte.
static_assert(sizeof(CallHead) == 22);
static_assert(sizeof(HostCall) == 30);
static_assert(sizeof(ChatMessage) == 58);
static_assert(sizeof(ForwardRecord) == 36);
static_assert(sizeof(ColumnRecord) == 39);
static_assert(sizeof(PageItem) == 78);
static_assert(kPageItemSize == 74);
static_assert(offsetof(CallHead, id) == 2);
static_assert(offsetof(CallHead, head1) == 6);
static_assert(offsetof(CallHead, head2) == 10);
static_assert(offsetof(CallHead, head3) == 14);
static_assert(offsetof(CallHead, head4) == 18);
static_assert(offsetof(HostCall, param1) == 22);
static_assert(offsetof(HostCall, param2) == 26);
static_assert(offsetof(ChatMessage, field2) == 2);
static_assert(offsetof(ChatMessage, field6) == 6);
static_assert(offsetof(ChatMessage, field10) == 10);
static_assert(offsetof(ChatMessage, text14) == 14);
static_assert(offsetof(ChatMessage, text18) == 18);
static_assert(offsetof(ChatMessage, body) == 22);
static_assert(offsetof(ChatMessage, text26) == 26);
static_assert(offsetof(ChatMessage, flags) == 30);
static_assert(offsetof(ChatMessage, field34) == 34);
static_assert(offsetof(ChatMessage, field38) == 38);
static_assert(offsetof(ChatMessage, field42) == 42);
static_assert(offsetof(ChatMessage, field46) == 46);
static_assert(offsetof(ChatMessage, field50) == 50);
static_assert(offsetof(ChatMessage, field54) == 54);
static_assert(offsetof(ForwardRecord, unset22) == 22);
static_assert(offsetof(ForwardRecord, message) == 24);
static_assert(offsetof(ForwardRecord, zero) == 28);
static_assert(offsetof(ForwardRecord, one) == 32);
static_assert(offsetof(ForwardRecord, unset33) == 33);
static_assert(offsetof(ColumnRecord, reserved) == 22);
static_assert(offsetof(ColumnRecord, column) == 23);
static_assert(offsetof(ColumnRecord, type) == 27);
static_assert(offsetof(ColumnRecord, defaultValue) == 31);
static_assert(offsetof(ColumnRecord, key) == 35);
static_assert(offsetof(PageItem, id) == 2);
static_assert(offsetof(PageItem, parent) == 6);
static_assert(offsetof(PageItem, field10) == 10);
static_assert(offsetof(PageItem, field14) == 14);
static_assert(offsetof(PageItem, field18) == 18);
static_assert(offsetof(PageItem, field22) == 22);
static_assert(offsetof(PageItem, field26) == 26);
static_assert(offsetof(PageItem, request) == 30);
static_assert(offsetof(PageItem, itemKind) == 34);
static_assert(offsetof(PageItem, mask) == 38);
static_assert(offsetof(PageItem, field42) == 42);
static_assert(offsetof(PageItem, field46) == 46);
static_assert(offsetof(PageItem, text) == 50);
static_assert(offsetof(PageItem, field54) == 54);
static_assert(offsetof(PageItem, field58) == 58);
static_assert(offsetof(PageItem, number) == 62);
static_assert(offsetof(PageItem, field66) == 66);
static_assert(offsetof(PageItem, field70) == 70);
static_assert(offsetof(PageItem, field72) == 72);
static_assert(offsetof(PageItem, indent) == 74);
static_assert(offsetof(PageItem, field76) == 76);
static_assert(offsetof(HostControlOps, reportUnhandled) == 5 * 4);
static_assert(offsetof(HostControlOps, sendCall) == 7 * 4);
#endif

}  // namespace lumarix
