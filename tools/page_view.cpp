#include "tools/page_view.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "host/protocol.h"

namespace lumarix::tools {
namespace {

// Code page 1250, bytes 0x80 to 0xFF, 16 a line; U+FFFD marks the five
// undefined bytes. The no-break space and the soft hyphen are escaped to be seen.
constexpr std::u16string_view kCp1250High =
    u"€\uFFFD‚\uFFFD„…†‡\uFFFD‰Š‹ŚŤŽŹ"
    u"\uFFFD‘’“”•–—\uFFFD™š›śťžź"
    u"\u00A0ˇ˘Ł¤Ą¦§¨©Ş«¬\u00AD®Ż"
    u"°±˛ł´µ¶·¸ąş»Ľ˝ľż"
    u"ŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎ"
    u"ĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢß"
    u"ŕáâăäĺćçčéęëěíîď"
    u"đńňóôőö÷řůúűüýţ˙";
static_assert(kCp1250High.size() == 128);

// Status bit 0x2 of a colour field is this host's "hidden" bit: the plug-in
// flips it when the user operates the category's name, so the name folds the
// colour field away and brings it back. A hidden field keeps its value; the
// page still prints it, marked hidden. Other status bits are kept, not drawn.

// A caption-less field's text: this byte, then the hint after "tip=".
constexpr char kNoCaption = '\x1A';
constexpr std::string_view kTipKey = "tip=";

using Line = std::vector<const StoredItem*>;

struct Cell {
    std::string text;  // UTF-8
    std::string tip;   // shown under the cell; empty for none
};

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Columns a UTF-8 text takes on a terminal: one per code point.
std::size_t WidthOf(std::string_view utf8) {
    return std::count_if(utf8.begin(), utf8.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

std::string Quoted(std::string_view text) {
    return std::string(1, '\'').append(text).append(1, '\'');
}

std::uint32_t KindOf(const StoredItem& item) {
    return item.record.kindOrStatus & ~kItemSameLine;
}

bool IsOwnItem(const StoredItem& item) {
    return item.record.id == kItemNumberTag && item.record.parent == kSettingsPageId;
}

// Whether call 22200 names `item` by `itemNumber`.
bool IsNamedBy(const StoredItem& item, std::uint32_t itemNumber) {
    return IsOwnItem(item) && kItemNumberTag + item.record.number == itemNumber;
}

// "hidden" or "shown", from status bit 0x2 of a colour field.
std::string DescribeFieldStatus(std::uint32_t status) {
    return (status & kStatusHidden) ? "hidden" : "shown";
}

// The items in the order created, cut into the lines the host shows.
std::vector<Line> SplitIntoLines(const std::vector<StoredItem>& items) {
    std::vector<Line> lines;
    Line current;
    for (const StoredItem& item : items) {
        current.push_back(&item);
        if (item.record.kindOrStatus & kItemSameLine) continue;
        lines.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

// The hint of a caption-less field: the text after "tip=".
std::string TipOf(std::string_view text) {
    if (text.empty() || text.front() != kNoCaption) return {};
    const std::size_t at = text.find(kTipKey);
    return at == std::string_view::npos ? std::string()
                                        : Cp1250ToUtf8(text.substr(at + kTipKey.size()));
}

std::string CaptionOf(const StoredItem& item) {
    if (!item.text.empty() && item.text.front() == kNoCaption) return {};
    return Cp1250ToUtf8(item.text);
}

class PageDrawer {
  public:
    explicit PageDrawer(const StandInHost& host) : host_(host) {}

    std::string Draw() {
        for (const Line& line : SplitIntoLines(host_.Items())) DrawLine(line);
        FlushRows();
        while (out_.size() >= 2 && out_.ends_with("\n\n")) out_.pop_back();
        return out_;
    }

  private:
    using Row = std::vector<Cell>;

    void DrawLine(const Line& line) {
        const StoredItem& first = *line.front();
        const std::uint32_t kind = line.size() == 1 ? KindOf(first) : 0;
        if (kind == kItemPage) return DrawTitle(first);
        if (kind == kItemGroupStart) return OpenGroup(first);
        if (kind == kItemGroupEnd) return CloseGroup();
        if (kind == kItemPlainText) return DrawText(first);
        Row row;
        for (const StoredItem* item : line) row.push_back(DrawCell(*item));
        rows_.push_back(std::move(row));
    }

    void DrawTitle(const StoredItem& page) {
        FlushRows();
        out_ += "== " + CaptionOf(page) + " ==";
        if (host_.IconItem() == page.record.number)
            out_ += "  (icon " + std::to_string(host_.IconResource()) + ")";
        out_ += "\n\n";
    }

    void OpenGroup(const StoredItem& group) {
        FlushRows();
        out_ += Margin() + "-- " + CaptionOf(group) + " --\n";
        ++depth_;
    }

    void CloseGroup() {
        FlushRows();
        if (depth_ > 0) --depth_;
        out_ += "\n";
    }

    // A plain text keeps its own line breaks.
    void DrawText(const StoredItem& item) {
        FlushRows();
        const std::string text = CaptionOf(item);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            out_ += Margin() + text.substr(start, end - start) + "\n";
        out_ += Margin() + text.substr(start) + "\n";
    }

    Cell DrawCell(const StoredItem& item) const {
        const StoredColumn* column = host_.FindColumn(item.record.number);
        switch (KindOf(item)) {
            case kItemSwitch:
                // A switch without a settings column (a category's name) has
                // no state of its own: operating it is an action.
                if (!column) return {CaptionOf(item), {}};
                return {(column->value == "1" ? "[x] " : "[ ] ") + CaptionOf(item), {}};
            case kItemColorEntry: {
                std::string text = CaptionOf(item);
                if (!text.empty()) text += ' ';
                text +=
                    "[" + (column ? column->value : "?") + "] " + DescribeFieldStatus(item.status);
                return {text, TipOf(item.text)};
            }
            case kItemPlainText:
                return {CaptionOf(item), {}};
            default:
                return {Hex(KindOf(item)) + "? " + CaptionOf(item), {}};
        }
    }

    // The messenger lines the colour fields up with the extended form's
    // `indent` (pixels behind names of different widths); a terminal gets
    // the same by padding each column of a block of lines to its widest cell.
    void FlushRows() {
        std::vector<std::size_t> widths;
        for (const Row& row : rows_) {
            if (row.size() < 2) continue;  // a lone cell does not set the columns
            widths.resize(std::max(widths.size(), row.size()));
            for (std::size_t k = 0; k < row.size(); ++k)
                widths[k] = std::max(widths[k], WidthOf(row[k].text));
        }
        for (const Row& row : rows_) DrawRow(row, widths);
        rows_.clear();
    }

    void DrawRow(const Row& row, const std::vector<std::size_t>& widths) {
        std::string line = Margin();
        std::vector<std::pair<std::size_t, std::string>> tips;  // column, hint
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (k > 0) line += "  ";
            if (!row[k].tip.empty()) tips.emplace_back(WidthOf(line), row[k].tip);
            line += row[k].text;
            if (k + 1 < row.size() && k < widths.size())
                line.append(widths[k] - WidthOf(row[k].text), ' ');
        }
        out_ += line + "\n";
        for (const auto& [at, tip] : tips) out_ += std::string(at, ' ') + "hint: " + tip + "\n";
    }

    std::string Margin() const { return std::string(2 * depth_, ' '); }

    const StandInHost& host_;
    std::vector<Row> rows_;  // lines waiting to be lined up
    std::string out_;
    int depth_ = 0;
};

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    const std::string digits(text);
    char* end = nullptr;
    const bool hex =
        digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// The plug-in's item that call 22200 names `itemNumber`.
const StoredItem* FindOwnItem(const StandInHost& host, std::uint32_t itemNumber) {
    for (const StoredItem& item : host.Items())
        if (IsNamedBy(item, itemNumber)) return &item;
    return nullptr;
}

const StoredItem* FindColorFieldOnLine(const StandInHost& host, std::uint32_t itemNumber) {
    for (const Line& line : SplitIntoLines(host.Items())) {
        const bool named = std::any_of(line.begin(), line.end(), [&](const StoredItem* item) {
            return IsNamedBy(*item, itemNumber);
        });
        if (!named) continue;
        for (const StoredItem* item : line)
            if (KindOf(*item) == kItemColorEntry) return item;
    }
    return nullptr;
}

}  // namespace

std::string Cp1250ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(byte < 0x80 ? byte : kCp1250High[byte - 0x80], out);
    }
    return out;
}

std::string DrawSettingsPage(const StandInHost& host) {
    return PageDrawer(host).Draw();
}

std::optional<std::uint32_t> FindItemNumber(const StandInHost& host, std::string_view target,
                                            std::string& error) {
    if (!target.empty() && target.front() >= '0' && target.front() <= '9') {
        const auto number = ParseNumber(target);
        if (!number) {
            error = Quoted(target) + " is not a 32-bit item number";
            return std::nullopt;
        }
        // A number outside the plug-in's range is sent as it is, to see how the
        // plug-in takes a notice that is not its own; one inside must name an item.
        const std::uint32_t id = (*number >> 24) ? *number : kItemNumberTag + *number;
        if ((id >> 24) != (kItemNumberTag >> 24) || FindOwnItem(host, id)) return id;
        error = "no item on the settings page has number " + Quoted(target);
        return std::nullopt;
    }
    std::optional<std::uint32_t> found;
    int matches = 0;
    for (const StoredItem& item : host.Items()) {
        if (!IsOwnItem(item) || CaptionOf(item) != target) continue;
        found = kItemNumberTag + item.record.number;
        ++matches;
    }
    if (matches == 1) return found;
    error = matches == 0 ? "no item on the settings page is named " + Quoted(target)
                         : Quoted(target) + " names " + std::to_string(matches) +
                               " items on the settings page; give an item number";
    return std::nullopt;
}

std::vector<ColorFieldLine> FindColorFieldLines(const StandInHost& host) {
    std::vector<ColorFieldLine> found;
    for (const Line& line : SplitIntoLines(host.Items())) {
        const auto field = std::find_if(line.begin(), line.end(), [](const StoredItem* item) {
            return KindOf(*item) == kItemColorEntry;
        });
        if (field == line.end()) continue;
        const std::string& opening = line.front()->text;
        const bool captioned = !opening.empty() && opening.front() != kNoCaption;
        ColorFieldLine& entry = found.emplace_back(
            ColorFieldLine{captioned ? opening : std::string(), (*field)->record.number});
        for (auto item = field + 1; item != line.end(); ++item)
            if (KindOf(**item) == kItemSwitch)
                entry.switchColumns.push_back((*item)->record.number);
    }
    return found;
}

std::string OperateItem(StandInHost& host, std::uint32_t itemNumber) {
    // The host's record names the item at offset 2, as in the plug-in's own
    // status calls.
    PageItem notice{};
    notice.size = kPageItemSize;
    notice.id = itemNumber;
    notice.parent = kSettingsPageId;
    notice.leadWord = kLeadWord;
    const std::intptr_t answer = host.Call(kCallPageAction, reinterpret_cast<HostWord>(&notice), 0);

    std::string line = "operated " + Hex(itemNumber);
    const StoredItem* item = FindOwnItem(host, itemNumber);
    if (item && !CaptionOf(*item).empty()) line += " (" + CaptionOf(*item) + ")";
    line += ", answer " + std::to_string(answer) + ": ";
    if (!item) return line + "no such item on the page\n";
    const StoredItem* field = FindColorFieldOnLine(host, itemNumber);
    if (!field) return line + "no colour field on its line\n";
    return line + "colour field " + std::to_string(field->record.number) + " " +
           DescribeFieldStatus(field->status) + " (status " + Hex(field->status) + ")\n";
}

}  // namespace lumarix::tools
