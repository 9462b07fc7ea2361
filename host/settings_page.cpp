#include "host/settings_page.h"

#include <algorithm>

#include "host/categories.h"
#include "host/cp1250.h"
#include "host/host_link.h"
#include "host/protocol.h"
#include "host/records.h"

namespace lumarix {
namespace {

constexpr Cp1250Text kPageName(u8"Lumarix");
constexpr Cp1250Text kInfoGroup(u8"Informacje");
constexpr Cp1250Text kDescription(
    u8"Wtyczka służy do formatowania składni\nNarazie obsługuje tylko język Delphi");
constexpr Cp1250Text kColorsGroup(u8"Kolory");
constexpr Cp1250Text kBold(u8"Pogrubiony");
constexpr Cp1250Text kItalic(u8"Pochylony");
constexpr Cp1250Text kUnderline(u8"Podkreślony");
// No caption: byte 0x1A, then the hint the host shows for the field.
constexpr Cp1250Text kColorField(
    u8"\x1Atip=Kolor wpisujemy w postaci szesnastkowej z # na początku");
constexpr std::array<const char*, 3> kSwitchCaptions = {kBold.c_str(), kItalic.c_str(),
                                                        kUnderline.c_str()};

constexpr std::uint32_t kPageItemNumber = 1000060;
constexpr std::uint32_t kIconResource = 100;

constexpr std::array<PageItemRow, kPageItemCount> MakePageItems() {
    std::array<PageItemRow, kPageItemCount> items = {{
        {kSettingsPageId, kItemPage, kPageName.c_str(), kPageItemNumber, 0},
        {0, kItemGroupStart, kInfoGroup.c_str(), 0, 0},
        {0, kItemPlainText, kDescription.c_str(), 0, 0},
        {0, kItemGroupEnd, nullptr, 0, 0},
        {0, kItemGroupStart, kColorsGroup.c_str(), 0, 0},
    }};
    PageItemRow* at = items.data() + 5;  // past the rows above
    // A category's line: its name, its colour field, then its three switches.
    for (const CategoryRow& row : kCategoryRows) {
        *at++ = {kItemNumberTag, kItemSwitch | kItemSameLine, row.caption, row.nameItem, 0};
        *at++ = {kItemNumberTag, kItemColorEntry | kItemSameLine, kColorField.c_str(),
                 row.colorColumn, row.indent};
        for (std::size_t s = 0; s < 3; ++s)
            *at++ = {kItemNumberTag, kItemSwitch | (s < 2 ? kItemSameLine : 0), kSwitchCaptions[s],
                     row.switchColumns[s], 0};
    }
    *at = {0, kItemGroupEnd, nullptr, 0, 0};
    return items;
}

// A status query (mask all bits) or change (mask 2) of item kItemNumberTag + n.
PageItem MakeStatusRecord(std::uint32_t n, std::uint32_t status, std::uint32_t mask) {
    PageItem item = MakeItemQuery(n, kRequestStatus);
    item.kindOrStatus = status;
    item.mask = mask;
    return item;
}

}  // namespace

const std::array<PageItemRow, kPageItemCount> kPageItems = MakePageItems();

std::intptr_t BuildSettingsPage() {
    if (!IsHostHeld()) return 1;
    SendHostCall(kSendPageIcon, kPageItemNumber, kIconResource);
    for (const PageItemRow& row : kPageItems) {
        const bool description = row.itemKind == kItemPlainText;
        PageItem item{};
        item.size = row.indent ? kPageItemExtendedSize : kPageItemSize;
        item.id = row.id;
        item.parent = row.itemKind == kItemPage ? kPageItemParent : kSettingsPageId;
        item.leadWord = kLeadWord;
        item.creationLeadWord = kCreationLeadWord;
        item.request = kRequestCreate;
        item.kindOrStatus = row.itemKind;
        item.mask = 0xFFFFFFFFu;
        item.text = row.text;
        item.descriptionWord1 = description ? kDescriptionWord1 : 0;
        item.number = row.number;
        item.descriptionWord2 = description ? kDescriptionWord2 : 0;
        item.indent = row.indent;
        SendHostCall(kSendCreateItem, reinterpret_cast<HostWord>(&item), 0);
    }
    return 1;
}

std::intptr_t OnPageAction(std::uint32_t itemNumber) {
    const std::uint32_t n = itemNumber & ~kItemNumberTag;
    const auto row = std::find_if(kCategoryRows.begin(), kCategoryRows.end(),
                                  [n](const CategoryRow& r) { return r.nameItem == n; });
    if (row == kCategoryRows.end() || !IsHostHeld()) return 0;
    PageItem query = MakeStatusRecord(row->colorColumn, 0, 0xFFFFFFFFu);
    SendHostCall(kSendQueryStatus, reinterpret_cast<HostWord>(&query), 0);
    const std::uint32_t flipped = (query.kindOrStatus & kStatusHidden) ? 0 : kStatusHidden;
    PageItem change = MakeStatusRecord(row->colorColumn, flipped, kStatusHidden);
    SendHostCall(kSendChangeStatus, reinterpret_cast<HostWord>(&change), 0);
    return 0;
}

}  // namespace lumarix
