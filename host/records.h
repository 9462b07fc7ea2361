// Records that cross the host boundary. All are packed and little-endian and
// open with their own length as a 16-bit count.
//
// On the 32-bit target every field is as wide as the host's tables say, and
// the layout is checked below. Fields that carry an address are declared as
// pointers or as HostWord (uintptr_t), so on a 64-bit build they widen to 64
// bits and every later offset moves by 4 bytes per widened field; the records
// stay packed and keep their field order. Fields the plug-in does nothing with
// are named by their place: unknownN (runs of them as arrays), unsetN.
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

// The plug-in copies a message whole; it reads and changes only `body` and
// `flags`, and hands `newIdText` to the host.
struct ChatMessage {
    std::uint16_t size;
    std::uint32_t unknown1[3];
    const char* unknownText1;
    const char* newIdText;  // handed to the host in call 200, which answers a new id
    const char* body;
    const char* unknownText2;
    std::uint32_t flags;
    std::int32_t unknown2[6];  // a message the host makes new holds -2 in the third
};

struct ForwardRecord {
    CallHead head;
    std::uint8_t unset1[2] = {};
    ChatMessage* message;
    std::uint32_t zero;
    std::uint8_t one;
    std::uint8_t unset2[3] = {};
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
// query or change, or a value query (74 bytes). The words the host expects
// (protocol.h) are named after those values; the plug-in leaves unknownN 0.
struct PageItem {
    std::uint16_t size;
    std::uint32_t id;
    std::uint32_t parent;
    std::int32_t leadWord;          // kLeadWord
    std::int32_t creationLeadWord;  // kCreationLeadWord in creations, else 0
    std::uint32_t unknown1[3];
    std::uint32_t request;       // kRequestCreate, kRequestStatus or kRequestValue
    std::uint32_t kindOrStatus;  // the item kind in creations, the status in status calls
    std::uint32_t mask;
    std::uint32_t unknown2[2];
    const char* text;
    std::uint32_t unknown3;
    std::uint32_t descriptionWord1;  // kDescriptionWord1 in the description's creation, else 0
    std::uint32_t number;
    std::uint32_t descriptionWord2;  // kDescriptionWord2 likewise
    std::uint16_t unknown4[2];
    std::uint16_t indent;  // extended form only
    std::uint16_t unknown5;
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
static_assert(offsetof(ChatMessage, unknown1) == 2);
static_assert(offsetof(ChatMessage, unknownText1) == 14);
static_assert(offsetof(ChatMessage, newIdText) == 18);
static_assert(offsetof(ChatMessage, body) == 22);
static_assert(offsetof(ChatMessage, unknownText2) == 26);
static_assert(offsetof(ChatMessage, flags) == 30);
static_assert(offsetof(ChatMessage, unknown2) == 34);
static_assert(offsetof(ForwardRecord, unset1) == 22);
static_assert(offsetof(ForwardRecord, message) == 24);
static_assert(offsetof(ForwardRecord, zero) == 28);
static_assert(offsetof(ForwardRecord, one) == 32);
static_assert(offsetof(ForwardRecord, unset2) == 33);
static_assert(offsetof(ColumnRecord, reserved) == 22);
static_assert(offsetof(ColumnRecord, column) == 23);
static_assert(offsetof(ColumnRecord, type) == 27);
static_assert(offsetof(ColumnRecord, defaultValue) == 31);
static_assert(offsetof(ColumnRecord, key) == 35);
static_assert(offsetof(PageItem, id) == 2);
static_assert(offsetof(PageItem, parent) == 6);
static_assert(offsetof(PageItem, leadWord) == 10);
static_assert(offsetof(PageItem, creationLeadWord) == 14);
static_assert(offsetof(PageItem, unknown1) == 18);
static_assert(offsetof(PageItem, request) == 30);
static_assert(offsetof(PageItem, kindOrStatus) == 34);
static_assert(offsetof(PageItem, mask) == 38);
static_assert(offsetof(PageItem, unknown2) == 42);
static_assert(offsetof(PageItem, text) == 50);
static_assert(offsetof(PageItem, unknown3) == 54);
static_assert(offsetof(PageItem, descriptionWord1) == 58);
static_assert(offsetof(PageItem, number) == 62);
static_assert(offsetof(PageItem, descriptionWord2) == 66);
static_assert(offsetof(PageItem, unknown4) == 70);
static_assert(offsetof(PageItem, indent) == 74);
static_assert(offsetof(PageItem, unknown5) == 76);
static_assert(offsetof(HostControlOps, reportUnhandled) == 5 * 4);
static_assert(offsetof(HostControlOps, sendCall) == 7 * 4);
#endif

}  // namespace lumarix
