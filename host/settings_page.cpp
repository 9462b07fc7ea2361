#include "host/settings_page.h"

#include <cstring>

#include "host/cp1250.h"
#include "host/host_link.h"
#include "host/records.h"
#include "host/settings_columns.h"

namespace lumarix {
namespace {

constexpr Cp1250Text kPageName(u8"Lumarix");
constexpr Cp1250Text kInfoGroup(u8"Informacje");
constexpr Cp1250Text kDescription(
    u8"Wtyczka służy do formatowania składni\nNarazie obsługuje tylko język Delphi");
constexpr Cp1250Text kColorsGroup(u8"Kolory");
constexpr Cp1250Text kKeyWords(u8"Słowa kluczowe");
constexpr Cp1250Text kStrings(u8"Stringi");
constexpr Cp1250Text kNumbers(u8"Cyfry");
constexpr Cp1250Text kComments(u8"Komentarze");
constexpr Cp1250Text kOperators(u8"Operatory");
constexpr Cp1250Text kBold(u8"Pogrubiony");
constexpr Cp1250Text kItalic(u8"Pochylony");
constexpr Cp1250Text kUnderline(u8"Podkreślony");
// No caption: byte 0x1A, then the hint the host shows for the field.
constexpr Cp1250Text kColorField(u8"\x1Atip=Kolor wpisujemy w postaci szesnastkowej z # na początku");

constexpr std::uint32_t kPage = 0x10;
constexpr std::uint32_t kGroupStart = 0xF0000;
constexpr std::uint32_t kGroupEnd = 0x100000;
constexpr std::uint32_t kPlainText = 0x80000;
constexpr std::uint32_t kSwitch = 0x60000;
constexpr std::uint32_t kColorEntry = 0x80B0000;
constexpr std::uint32_t kSameLine = 0x40;  // the next item follows on the same line
constexpr std::uint32_t kTag = kItemNumberTag;

constexpr std::uint32_t kPageItemNumber = 1000060;
constexpr std::uint32_t kIconResource = 100;

}  // namespace

const std::array<PageItemRow, 31> kPageItems = {{
    {kSettingsPageId, kPage, kPageName.c_str(), kPageItemNumber, 0},
    {0, kGroupStart, kInfoGroup.c_str(), 0, 0},
    {0, kPlainText, kDescription.c_str(), 0, 0},
    {0, kGroupEnd, nullptr, 0, 0},
    {0, kGroupStart, kColorsGroup.c_str(), 0, 0},
    {kTag, kSwitch | kSameLine, kKeyWords.c_str(), 1000026, 0},
    {kTag, kColorEntry | kSameLine, kColorField.c_str(), 1000022, 0},
    {kTag, kSwitch | kSameLine, kBold.c_str(), 1000043, 0},
    {kTag, kSwitch | kSameLine, kItalic.c_str(), 1000044, 0},
    {kTag, kSwitch, kUnderline.c_str(), 1000045, 0},
    {kTag, kSwitch | kSameLine, kStrings.c_str(), 1000028, 0},
    {kTag, kColorEntry | kSameLine, kColorField.c_str(), 1000025, 45},
    {kTag, kSwitch | kSameLine, kBold.c_str(), 1000031, 0},
    {kTag, kSwitch | kSameLine, kItalic.c_str(), 1000032, 0},
    {kTag, kSwitch, kUnderline.c_str(), 1000033, 0},
    {kTag, kSwitch | kSameLine, kNumbers.c_str(), 1000029, 0},
    {kTag, kColorEntry | kSameLine, kColorField.c_str(), 1000023, 48},
    {kTag, kSwitch | kSameLine, kBold.c_str(), 1000037, 0},
    {kTag, kSwitch | kSameLine, kItalic.c_str(), 1000038, 0},
    {kTag, kSwitch, kUnderline.c_str(), 1000039, 0},
    {kTag, kSwitch | kSameLine, kComments.c_str(), 1000030, 0},
    {kTag, kColorEntry | kSameLine, kColorField.c_str(), 1000021, 18},
    {kTag, kSwitch | kSameLine, kBold.c_str(), 1000040, 0},
    {kTag, kSwitch | kSameLine, kItalic.c_str(), 1000041, 0},
    {kTag, kSwitch, kUnderline.c_str(), 1000042, 0},
    {kTag, kSwitch | kSameLine, kOperators.c_str(), 1000027, 0},
    {kTag, kColorEntry | kSameLine, kColorField.c_str(), 1000024, 25},
    {kTag, kSwitch | kSameLine, kBold.c_str(), 1000034, 0},
    {kTag, kSwitch | kSameLine, kItalic.c_str(), 1000035, 0},
    {kTag, kSwitch, kUnderline.c_str(), 1000036, 0},
    {0, kGroupEnd, nullptr, 0, 0},
}};

namespace {

bool IsDescription(const PageItemRow& row) { return row.itemKind == kPlainText; }

PageItem MakeCreation(const PageItemRow& row) {
    PageItem item{};
    item.size = row.indent ? kPageItemExtendedSize : kPageItemSize;
    item.id = row.id;
    item.parent = row.itemKind == kPage ? 46 : kSettingsPageId;
    item.field10 = -2;
    item.field14 = -1;
    item.request = 863;
    item.itemKind = row.itemKind;
    item.mask = 0xFFFFFFFFu;
    item.text = row.text;
    item.field58 = IsDescription(row) ? 40 : 0;
    item.number = row.number;
    item.field66 = IsDescription(row) ? 100 : 0;
    item.indent = row.indent;
    return item;
}

// A status query (mask all bits) or change (mask 2) of item 0x11000000 + n.
PageItem MakeStatusRecord(std::uint32_t n, std::uint32_t status, std::uint32_t mask) {
    PageItem item{};
    item.size = kPageItemSize;
    item.id = kItemNumberTag + n;
    item.parent = kSettingsPageId;
    item.field10 = -2;
    item.request = 1;
    item.itemKind = status;
    item.mask = mask;
    return item;
}

struct NameToColor {
    std::uint32_t nameItem;
    std::uint32_t colorColumn;
};

constexpr std::array<NameToColor, 5> kCategoryNames = {{
    {1000026, 1000022},  // key words
    {1000027, 1000024},  // operators
    {1000028, 1000025},  // strings
    {1000029, 1000023},  // numbers
    {1000030, 1000021},  // comments
}};

constexpr std::uint32_t kHiddenBit = 0x2;

}  // namespace

std::intptr_t BuildSettingsPage() {
    if (!IsHostHeld()) return 1;
    SendHostCall(10109, kPageItemNumber, kIconResource);
    for (const PageItemRow& row : kPageItems) {
        PageItem item = MakeCreation(row);
        SendHostCall(10101, reinterpret_cast<HostWord>(&item), 0);
    }
    return 1;
}

std::intptr_t OnPageAction(const void* record) {
    std::uint32_t itemNumber;
    std::memcpy(&itemNumber, static_cast<const char*>(record) + 2, sizeof itemNumber);
    const std::uint32_t n = itemNumber & 0xEEFFFFFFu;
    for (const NameToColor& entry : kCategoryNames) {
        if (entry.nameItem != n) continue;
        if (!IsHostHeld()) return 0;
        PageItem query = MakeStatusRecord(entry.colorColumn, 0, 0xFFFFFFFFu);
        SendHostCall(10107, reinterpret_cast<HostWord>(&query), 0);
        const std::uint32_t flipped = (query.itemKind & kHiddenBit) ? 0 : kHiddenBit;
        PageItem change = MakeStatusRecord(entry.colorColumn, flipped, kHiddenBit);
        SendHostCall(10108, reinterpret_cast<HostWord>(&change), 0);
        return 0;
    }
    return 0;
}

}  // namespace lumarix
