#include "tools/preview.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <fstream>
#include <iterator>

#include "tools/page_view.h"

namespace lumarix::tools {
namespace {

// The two people of the conversation take turns; message 0 is the first's.
constexpr std::array<std::string_view, 2> kSenders = {"Anna", "Bartek"};

// Each switch's column head is set in the style it switches and named as on
// the plug-in's page.
constexpr std::array<std::string_view, 3> kSwitchHeads = {
    "<th title=\"Pogrubiony\"><b>B</b></th>", "<th title=\"Pochylony\"><i>I</i></th>",
    "<th title=\"Podkre&#347;lony\"><u>U</u></th>"};

// The page speaks Polish like the plug-in. Its own text is ASCII (other
// characters as references), so it reads the same in the windows-1250 of the
// plug-in's text: the messages and the page's captions.
constexpr std::string_view kPageHead = R"(<!DOCTYPE html>
<html lang="pl">
<head>
<meta charset="windows-1250">
<title>Lumarix &ndash; podgl&#261;d rozmowy</title>
<style>
body { margin: 0; padding: 20px; background: #e6e9ef; color: #1d232b;
       font: 14px/1.45 Tahoma, Verdana, "DejaVu Sans", sans-serif; }
.window { display: flex; align-items: stretch; max-width: 900px; background: #fff;
          border: 1px solid #aab3c0; border-radius: 8px; overflow: hidden;
          box-shadow: 0 2px 10px rgba(0, 0, 0, 0.15); }
.window header { padding: 7px 14px; background: #34527f; color: #fff; font-weight: bold; }
.chat { flex: 1; min-width: 0; background: #f4f6f9; }
.messages { display: flex; flex-direction: column; gap: 14px; padding: 16px; }
.message { max-width: 88%; align-self: flex-start; }
.message.second { align-self: flex-end; }
.sender { margin: 0 8px 3px; font-size: 12px; color: #5d6775; }
.second .sender { text-align: right; }
.sender .name { font-weight: bold; color: #34527f; }
/* The body is the message as the messenger shows it: its own line breaks and
   spaces stand, and its HTML renders. */
.bubble { padding: 8px 12px; border: 1px solid #cfd6e0; border-radius: 12px;
          border-bottom-left-radius: 3px; background: #fff; color: #000;
          white-space: pre-wrap; overflow-wrap: anywhere; min-height: 1.45em; }
.second .bubble { background: #e2edfb; border-color: #b9cde9;
                  border-bottom-left-radius: 12px; border-bottom-right-radius: 3px; }
.settings { width: 290px; flex: none; border-left: 1px solid #cfd6e0; }
.settings table { width: calc(100% - 24px); margin: 10px 12px; border-collapse: collapse;
                  font-size: 13px; }
.settings th, .settings td { padding: 4px 6px; text-align: center; border-bottom: 1px solid #e3e7ed; }
.settings th:nth-child(-n+2), .settings td:nth-child(-n+2) { text-align: left; }
.settings th { color: #5d6775; font-weight: normal; }
.settings code { font: 12px "DejaVu Sans Mono", monospace; }
.settings .off { color: #b3bac4; }
.settings .changed { background: #fff3c4; }
.settings p { margin: 4px 12px 12px; font-size: 12px; color: #5d6775; }
/* The swatch takes the colour from a font tag, so the browser reads the value
   exactly as it reads the plug-in's own tags. */
.swatch { display: inline-block; width: 14px; height: 14px; margin-right: 4px;
          vertical-align: -2px; border: 1px solid #6f7884; border-radius: 3px;
          background-color: currentColor; }
.swatch.empty { background: linear-gradient(135deg, #fff 45%, #c33 45%, #c33 55%, #fff 55%); }
</style>
</head>
<body>
<div class="window">
)";

constexpr std::string_view kPageFoot = "</div>\n</body>\n</html>\n";

// Escapes "&", "<", ">" and the double quote, for text and attribute values.
std::string EscapeHtml(std::string_view text) {
    static constexpr std::string_view kEscaped = "&<>\"";
    static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;"};
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const std::size_t k = kEscaped.find(c);
        if (k == std::string_view::npos)
            out += c;
        else
            out += kEntities[k];
    }
    return out;
}

// A category as its line on the settings page shows it.
struct CategoryRow {
    std::string caption;  // code page 1250; empty: the line has none
    const StoredColumn* color = nullptr;
    std::array<const StoredColumn*, 3> switches{};  // bold, italic, underline
};

struct SettingsView {
    std::vector<CategoryRow> categories;
    std::vector<const StoredColumn*> others;
};

// The categories in the order of their lines on the settings page, as the user
// sees them there, with the page's captions; columns on no such line are
// listed apart.
SettingsView ArrangeAsOnPage(const StandInHost& host) {
    SettingsView view;
    std::vector<std::uint32_t> shown;
    for (const ColorFieldLine& line : FindColorFieldLines(host)) {
        CategoryRow& row =
            view.categories.emplace_back(CategoryRow{line.caption, host.FindColumn(line.column)});
        shown.push_back(line.column);
        for (std::size_t k = 0; k < line.switchColumns.size() && k < row.switches.size(); ++k) {
            row.switches[k] = host.FindColumn(line.switchColumns[k]);
            shown.push_back(line.switchColumns[k]);
        }
    }
    for (const StoredColumn& column : host.Columns())
        if (std::find(shown.begin(), shown.end(), column.number) == shown.end())
            view.others.push_back(&column);
    return view;
}

// The category's part of its colour key ("LX/Colors/Key_words").
std::string KeyNameOf(const CategoryRow& row) {
    return row.color ? row.color->key.substr(row.color->key.rfind('/') + 1) : std::string();
}

// The cell's class and tooltip: the key, its value and, when it differs, the default.
std::string DescribeCell(const StoredColumn& column, std::string_view cellClass) {
    const bool changed = column.value != column.defaultValue;
    std::string out = "<td class=\"" + std::string(cellClass) + (changed ? " changed" : "") +
                      "\" title=\"" + EscapeHtml(column.key) + " = " + EscapeHtml(column.value);
    if (changed) out += " (domy&#347;lnie " + EscapeHtml(column.defaultValue) + ")";
    return out + "\">";
}

std::string BuildColorCell(const StoredColumn* column) {
    if (!column) return "<td class=\"color off\">&ndash;</td>";
    std::string out = DescribeCell(*column, "color");
    if (column->value.empty())
        out += "<span class=\"swatch empty\"></span><code>(puste)</code>";
    else
        out += "<font color=\"" + EscapeHtml(column->value) +
               "\"><span class=\"swatch\"></span></font><code>" + EscapeHtml(column->value) +
               "</code>";
    return out + "</td>";
}

// On exactly when the value is "1", the rule the plug-in applies.
std::string BuildSwitchCell(const StoredColumn* column) {
    if (!column) return "<td class=\"off\">&ndash;</td>";
    const bool on = column->value == "1";
    return DescribeCell(*column, on ? "on" : "off") + (on ? "&#10003;" : "&middot;") + "</td>";
}

std::string BuildCategoryRow(const CategoryRow& row) {
    const std::string name = EscapeHtml(KeyNameOf(row));
    std::string out = "<tr data-category=\"" + name + "\"><td>" +
                      (row.caption.empty() ? name : EscapeHtml(row.caption)) + "</td>" +
                      BuildColorCell(row.color);
    for (const StoredColumn* column : row.switches) out += BuildSwitchCell(column);
    return out + "</tr>\n";
}

std::string BuildSettingsPane(const StandInHost& host) {
    const SettingsView view = ArrangeAsOnPage(host);
    std::string out = "<aside class=\"settings\">\n<header>Ustawienia wtyczki</header>\n";
    if (host.Columns().empty())
        return out + "<p>Wtyczka nie zarejestrowa&#322;a ustawie&#324;.</p>\n</aside>\n";
    out += "<table>\n<tr><th>Kategoria</th><th>Kolor</th>";
    for (std::string_view head : kSwitchHeads) out += head;
    out += "</tr>\n";
    for (const CategoryRow& row : view.categories) out += BuildCategoryRow(row);
    for (const StoredColumn* column : view.others)
        out += "<tr class=\"other\"><td colspan=\"2\"><code>" + EscapeHtml(column->key) +
               "</code></td>" + DescribeCell(*column, "value") + EscapeHtml(column->value) +
               "</td><td></td><td></td></tr>\n";
    return out +
           "</table>\n<p>Pod&#347;wietlone: zmienione wzgl&#281;dem domy&#347;lnych.</p>\n"
           "</aside>\n";
}

// CR LF ends one line of Windows text, but the plug-in may end one token with
// the CR and start the next with the LF, and a browser breaks a line at each.
// So a CR whose next text, past any tags, is a LF is left out.
void WriteJoiningCrLf(std::ostream& out, std::string_view body) {
    std::size_t from = 0;
    for (std::size_t k = body.find('\r'); k != std::string_view::npos; k = body.find('\r', k + 1)) {
        std::size_t next = k + 1;
        while (next < body.size() && body[next] == '<')
            next = std::min(body.find('>', next), body.size() - 1) + 1;
        if (next < body.size() && body[next] == '\n') {
            out.write(body.data() + from, static_cast<std::streamsize>(k - from));
            from = k + 1;
        }
    }
    out.write(body.data() + from, static_cast<std::streamsize>(body.size() - from));
}

}  // namespace

std::optional<std::string> Utf8ToCp1250(std::string_view text) {
    // The UTF-8 spelling of each byte from 0x80 on; none for bytes the code page leaves out.
    static const std::array<std::string, 128> spellings = [] {
        std::array<std::string, 128> table;
        for (std::size_t k = 0; k < table.size(); ++k) {
            table[k] = Cp1250ToUtf8(std::string(1, static_cast<char>(0x80 + k)));
            if (table[k] == "\uFFFD") table[k].clear();
        }
        return table;
    }();
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (static_cast<unsigned char>(text.front()) < 0x80) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        const auto match = std::find_if(spellings.begin(), spellings.end(), [&](const auto& s) {
            return !s.empty() && text.starts_with(s);
        });
        if (match == spellings.end()) return std::nullopt;
        out += static_cast<char>(0x80 + (match - spellings.begin()));
        text.remove_prefix(match->size());
    }
    return out;
}

std::vector<std::string> SplitMessages(std::string_view input) {
    std::vector<std::string> messages;
    for (;;) {
        const std::size_t end = input.find(kMessageSeparator);
        messages.emplace_back(input.substr(0, end));
        if (end == std::string_view::npos) return messages;
        input.remove_prefix(end + 1);
    }
}

bool ReadMessageFile(const std::string& path, std::string& body) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string CurrentClockTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16];
    return std::string(text, std::strftime(text, sizeof text, "%H:%M", &local));
}

PreviewFile::PreviewFile(const std::string& path, std::string time)
    : out_(path, std::ios::binary | std::ios::trunc), time_(EscapeHtml(time)) {
    // The window is the second person's; its title names the first.
    out_ << kPageHead << "<section class=\"chat\">\n<header>Rozmowa: " << kSenders[0]
         << "</header>\n<div class=\"messages\">\n";
}

void PreviewFile::AddMessage(std::string_view body) {
    const std::size_t index = count_++;
    out_ << (index % 2 == 0 ? "<div class=\"message first\">\n"
                            : "<div class=\"message second\">\n")
         << "<div class=\"sender\"><span class=\"name\">" << kSenders[index % 2] << "</span> <time>"
         << time_ << "</time></div>\n<div class=\"bubble\">";
    WriteJoiningCrLf(out_, body);  // the plug-in's HTML, as the chat window shows it
    out_ << "</div>\n</div>\n";
}

bool PreviewFile::Finish(const StandInHost& host) {
    out_ << "</div>\n</section>\n" << BuildSettingsPane(host) << kPageFoot;
    return static_cast<bool>(out_.flush());
}

}  // namespace lumarix::tools
