#include "host/settings_columns.h"

#include "host/host_link.h"
#include "host/protocol.h"
#include "host/records.h"

namespace lumarix {
namespace {

ColumnRecord MakeColumnRecord(const SettingsColumn& c) {
    ColumnRecord record{};
    record.head = MakeHead(sizeof(ColumnRecord), kSendDeclareColumn);
    record.column = c.column;
    record.type = c.isText ? 1 : 0;
    record.defaultValue = c.isText ? reinterpret_cast<HostWord>(c.defaultText) : c.defaultInt;
    record.key = c.key;
    return record;
}

std::string_view DefaultText(std::uint32_t column) {
    for (const SettingsColumn& c : kSettingsColumns)
        if (c.column == column) return c.isText ? c.defaultText : (c.defaultInt ? "1" : "0");
    return {};
}

void SetStyleField(CategoryStyle& style, StyleField field, std::string_view text) {
    switch (field) {
        case StyleField::Color:
            style.color = text;
            break;
        case StyleField::Bold:
            style.bold = text == "1";
            break;
        case StyleField::Italic:
            style.italic = text == "1";
            break;
        case StyleField::Underline:
            style.underline = text == "1";
            break;
    }
}

}  // namespace

std::intptr_t RegisterColumns() {
    if (!IsHostHeld()) return 1;
    for (const SettingsColumn& c : kSettingsColumns) {
        ColumnRecord record = MakeColumnRecord(c);
        SendRecord(&record);
    }
    return 1;
}

std::string_view ReadColumnText(std::uint32_t column) {
    if (!IsHostHeld()) return DefaultText(column);
    PageItem query = MakeItemQuery(column, 0x10040);
    const auto answer = SendHostCall(kSendQueryValue, reinterpret_cast<HostWord>(&query), 0);
    const char* text = reinterpret_cast<const char*>(answer);
    return text ? std::string_view(text) : std::string_view();
}

CategoryStyles ReadCategoryStyles(const ColumnReader& readColumn) {
    CategoryStyles styles;
    for (const SettingsColumn& c : kColumnsInReadOrder)
        SetStyleField(styles[static_cast<std::size_t>(c.category)], c.field, readColumn(c.column));
    return styles;
}

}  // namespace lumarix
