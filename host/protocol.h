// The numbers of the host protocol: call ids both ways, message flags, the
// settings page's ids and item kinds. The module, the stand-in host, the
// tests and the fuzzers all take them from here.
#pragma once

#include <cstdint>

namespace lumarix {

// Call ids: first those the host makes to the plug-in, then (kSend...) those
// the plug-in makes to the host.
enum CallId : std::uint32_t {
    kCallHoldControl = 20001,
    kCallDropControl = 20002,
    kCallApiLevel = 20020,
    kCallMessageSlots = 20021,
    kCallMessage = 20100,
    kCallRegisterColumns = 21001,
    kCallSettingsLoaded = 21020,
    kCallBuildPage = 22000,
    kCallSettingsChanged = 22100,
    kCallPageAction = 22200,
    kCallPluginNumber = 30010,
    kCallPluginBuild = 30011,
    kCallVersionText = 30012,
    kCallNameInCapitals = 30013,
    kCallPlatformText = 30014,
    kCallReserved15 = 30015,
    kCallNameText = 30016,
    kCallReserved17 = 30017,
    kSendNewMessageId = 200,
    kSendForwardMessage = 250,
    kSendCreateItem = 10101,
    kSendRecord = 10103,
    kSendQueryValue = 10106,
    kSendQueryStatus = 10107,
    kSendChangeStatus = 10108,
    kSendPageIcon = 10109,
    kSendDeclareColumn = 1102,
};

// ChatMessage flags.
inline constexpr std::uint32_t kFlagRewriteIntoCopy = 0x2;
inline constexpr std::uint32_t kFlagBodyReplaced = 0x200;
inline constexpr std::uint32_t kFlagForwarded = 0x3000;

// Settings page: the plug-in's items are numbered kItemNumberTag + n, under
// the page kSettingsPageId.
inline constexpr std::uint32_t kItemNumberTag = 0x11000000;
inline constexpr std::uint32_t kItemTagMask = 0xFF000000;
inline constexpr std::uint32_t kSettingsPageId = 1000010;

// Page item kinds; kSameLine puts the next item on the same line.
inline constexpr std::uint32_t kItemPage = 0x10;
inline constexpr std::uint32_t kItemGroupStart = 0xF0000;
inline constexpr std::uint32_t kItemGroupEnd = 0x100000;
inline constexpr std::uint32_t kItemPlainText = 0x80000;
inline constexpr std::uint32_t kItemSwitch = 0x60000;
inline constexpr std::uint32_t kItemColorEntry = 0x80B0000;
inline constexpr std::uint32_t kItemSameLine = 0x40;
// The status bit that hides a colour field.
inline constexpr std::uint32_t kStatusHidden = 0x2;

// A page item's `request` word: what the record asks of the host.
inline constexpr std::uint32_t kRequestCreate = 863;
inline constexpr std::uint32_t kRequestStatus = 1;  // a status query or change
inline constexpr std::uint32_t kRequestValue = 0x10040;

// Values the host expects in page items; what they mean to it is unknown.
inline constexpr std::uint32_t kPageItemParent = 46;    // `parent` of the page's own item
inline constexpr std::int32_t kLeadWord = -2;           // the first word after `parent`, always
inline constexpr std::int32_t kCreationLeadWord = -1;   // the second, in creations
inline constexpr std::uint32_t kDescriptionWord1 = 40;  // in the creation of the description
inline constexpr std::uint32_t kDescriptionWord2 = 100;

}  // namespace lumarix
