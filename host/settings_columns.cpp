#include "host/settings_columns.h"

#include "host/host_link.h"
#include "host/protocol.h"
#include "host/records.h"

namespace lumarix {
namespace {

std::string_view DefaultText(std::uint32_t column) {
    for (const SettingsColumn& c : kSettingsColumns)
        if (c.column == column) return c.isText ? c.defaultText : (c.defaultInt ? "1" : "0");
    return {};
}

}  // namespace

std::intptr_t RegisterColumns() {
    if (!IsHostHeld()) return 1;
    for (const SettingsColumn& c : kSettingsColumns) {
        ColumnRecord record{};
        record.head = {sizeof(ColumnRecord), kSendDeclareColumn};
        record.column = c.column;
        record.type = c.isText ? 1 : 0;
        record.defaultValue = c.isText ? reinterpret_cast<HostWord>(c.defaultText) : c.defaultInt;
        record.key = c.key;
        SendRecord(&record);
    }
    return 1;
}

std::string_view ReadColumnText(std::uint32_t column) {
    if (!IsHostHeld()) return DefaultText(column);
    PageItem query = MakeItemQuery(column, kRequestValue);
    const auto answer = SendHostCall(kSendQueryValue, reinterpret_cast<HostWord>(&query), 0);
    const char* text = reinterpret_cast<const char*>(answer);
    return text ? std::string_view(text) : std::string_view();
}

CategoryStyles ReadCategoryStyles(const ColumnReader& readColumn) {
    CategoryStyles styles;
    for (const SettingsColumn& c : kColumnsInReadOrder) {
        CategoryStyle& style = styles[static_cast<std::size_t>(c.category)];
        const std::string_view text = readColumn(c.column);
        if (c.field == StyleField::Color)
            style.color = text;
        else
            style.switches[static_cast<std::size_t>(c.field) - 1] = text == "1";
    }
    return styles;
}

}  // namespace lumarix
