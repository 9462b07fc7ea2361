// The settings page through the module's exported entry point: the records of
// call 22000 byte for byte, the code page 1250 captions, the category toggle of
// call 22200, and the stand-in host's --page and --toggle.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/protocol.h"
#include "host/records.h"
#include "tests/test_support.h"
#include "tools/module_loader.h"
#include "tools/page_view.h"
#include "tools/stand_in_host.h"

namespace lumarix {
namespace {

using tools::LoadedModule;
using tools::ReceivedCall;
using tools::StandInHost;

constexpr std::uint32_t kTag = kItemNumberTag;
constexpr std::uint32_t kPageId = kSettingsPageId;

// The text address at offset 50 is as wide as a pointer; the fields behind it
// move by the difference on 64-bit builds.
constexpr std::size_t kWiden = sizeof(void*) - 4;
constexpr std::size_t At(std::size_t offset) {
    return offset < 54 ? offset : offset + kWiden;
}
constexpr std::size_t kShortSize = 74 + kWiden;
constexpr std::size_t kExtendedSize = 78 + kWiden;

// Code page 1250 to UTF-8 with the system's converter; empty when it refuses.
std::optional<std::string> ConvertFromCp1250(std::string_view bytes) {
    const iconv_t cd = iconv_open("UTF-8", "CP1250");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in(bytes), out(4 * bytes.size() + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

void Put(std::string& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) bytes[offset + k] = static_cast<char>(value >> (8 * k));
}

std::uint64_t Get(const std::string& bytes, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t k = width; k-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + k]);
    return value;
}

// ---------------------------------------------------------------------------
// The page as the plug-in declares it, captions in UTF-8.

constexpr const char* kDescription =
    "Wtyczka służy do formatowania składni\nNarazie obsługuje tylko język Delphi";
constexpr const char* kColorField =
    "\x1Atip=Kolor wpisujemy w postaci szesnastkowej z # na początku";

struct ExpectedItem {
    std::uint32_t id;
    std::uint32_t parent;
    std::uint32_t kind;
    const char* caption;  // null: no text
    std::uint32_t number;
    std::uint16_t indent = 0;  // 0: the short form
    std::uint32_t descriptionWord1 = 0;
    std::uint32_t descriptionWord2 = 0;
};

const ExpectedItem kExpectedItems[31] = {
    {kPageId, 46, 0x10, "Lumarix", 1000060},
    {0, kPageId, 0xF0000, "Informacje", 0},
    {0, kPageId, 0x80000, kDescription, 0, 0, 40, 100},
    {0, kPageId, 0x100000, nullptr, 0},
    {0, kPageId, 0xF0000, "Kolory", 0},
    {kTag, kPageId, 0x60040, "Słowa kluczowe", 1000026},
    {kTag, kPageId, 0x80B0040, kColorField, 1000022},
    {kTag, kPageId, 0x60040, "Pogrubiony", 1000043},
    {kTag, kPageId, 0x60040, "Pochylony", 1000044},
    {kTag, kPageId, 0x60000, "Podkreślony", 1000045},
    {kTag, kPageId, 0x60040, "Stringi", 1000028},
    {kTag, kPageId, 0x80B0040, kColorField, 1000025, 45},
    {kTag, kPageId, 0x60040, "Pogrubiony", 1000031},
    {kTag, kPageId, 0x60040, "Pochylony", 1000032},
    {kTag, kPageId, 0x60000, "Podkreślony", 1000033},
    {kTag, kPageId, 0x60040, "Cyfry", 1000029},
    {kTag, kPageId, 0x80B0040, kColorField, 1000023, 48},
    {kTag, kPageId, 0x60040, "Pogrubiony", 1000037},
    {kTag, kPageId, 0x60040, "Pochylony", 1000038},
    {kTag, kPageId, 0x60000, "Podkreślony", 1000039},
    {kTag, kPageId, 0x60040, "Komentarze", 1000030},
    {kTag, kPageId, 0x80B0040, kColorField, 1000021, 18},
    {kTag, kPageId, 0x60040, "Pogrubiony", 1000040},
    {kTag, kPageId, 0x60040, "Pochylony", 1000041},
    {kTag, kPageId, 0x60000, "Podkreślony", 1000042},
    {kTag, kPageId, 0x60040, "Operatory", 1000027},
    {kTag, kPageId, 0x80B0040, kColorField, 1000024, 25},
    {kTag, kPageId, 0x60040, "Pogrubiony", 1000034},
    {kTag, kPageId, 0x60040, "Pochylony", 1000035},
    {kTag, kPageId, 0x60000, "Podkreślony", 1000036},
    {0, kPageId, 0x100000, nullptr, 0},
};

// A creation record with every byte the plug-in must send; the text address
// is taken as given, the caller checks where it points.
std::string ExpectedCreation(const ExpectedItem& item, std::uint64_t textAddress) {
    std::string bytes(item.indent ? kExtendedSize : kShortSize, '\0');
    Put(bytes, 0, bytes.size(), 2);
    Put(bytes, 2, item.id, 4);
    Put(bytes, 6, item.parent, 4);
    Put(bytes, 10, 0xFFFFFFFE, 4);  // -2
    Put(bytes, 14, 0xFFFFFFFF, 4);  // -1
    Put(bytes, 30, 863, 4);
    Put(bytes, 34, item.kind, 4);
    Put(bytes, 38, 0xFFFFFFFF, 4);
    Put(bytes, 50, textAddress, sizeof(void*));
    Put(bytes, At(58), item.descriptionWord1, 4);
    Put(bytes, At(62), item.number, 4);
    Put(bytes, At(66), item.descriptionWord2, 4);
    if (item.indent) Put(bytes, At(74), item.indent, 2);
    return bytes;
}

// A status query (10107) or change (10108) of item 0x11000000 + n.
std::string ExpectedStatusRecord(std::uint32_t n, std::uint32_t status, std::uint32_t mask) {
    std::string bytes(kShortSize, '\0');
    Put(bytes, 0, bytes.size(), 2);
    Put(bytes, 2, kTag + n, 4);
    Put(bytes, 6, kPageId, 4);
    Put(bytes, 10, 0xFFFFFFFE, 4);
    Put(bytes, 30, 1, 4);
    Put(bytes, 34, status, 4);
    Put(bytes, 38, mask, 4);
    return bytes;
}

// Shows which bytes differ, as offset: got/expected.
std::string DiffBytes(const std::string& got, const std::string& expected) {
    std::string out;
    for (std::size_t k = 0; k < std::max(got.size(), expected.size()); ++k) {
        const int g = k < got.size() ? static_cast<unsigned char>(got[k]) : -1;
        const int e = k < expected.size() ? static_cast<unsigned char>(expected[k]) : -1;
        if (g != e)
            out += " @" + std::to_string(k) + ":" + std::to_string(g) + "/" + std::to_string(e);
    }
    return out;
}

// A host that has taken the control, registered the columns and been given
// the page, with its record of calls emptied.
class SettingsPage : public testing::PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        host_->Call(20001, reinterpret_cast<HostWord>(host_->Control()));
        host_->Call(21001);
        host_->Call(22000);
        host_->ClearReceived();
    }
    std::intptr_t Notify(std::uint32_t itemNumber) {
        std::string record(kShortSize, '\0');
        Put(record, 0, record.size(), 2);
        Put(record, 2, itemNumber, 4);
        return host_->Call(22200, reinterpret_cast<HostWord>(record.data()));
    }

    void SetStatus(std::uint32_t n, std::uint32_t status) {
        tools::StoredItem* item = host_->FindItem(n);
        ASSERT_NE(item, nullptr) << n;
        item->status = status;
    }

    std::uint32_t StatusOf(std::uint32_t n) { return host_->FindItem(n)->status; }
};

TEST_F(SettingsPage, DeclaresIconThenThirtyOneItemsByteForByte) {
    EXPECT_EQ(host_->Call(22000), 1);
    const std::vector<ReceivedCall>& calls = host_->Received();
    ASSERT_EQ(calls.size(), 32u);

    EXPECT_EQ(calls[0].id, 10109u);
    EXPECT_EQ(calls[0].param1, 1000060u);
    EXPECT_EQ(calls[0].param2, 100u);

    for (std::size_t k = 0; k < 31; ++k) {
        SCOPED_TRACE("item " + std::to_string(k + 1));
        const ExpectedItem& item = kExpectedItems[k];
        const ReceivedCall& call = calls[k + 1];
        ASSERT_EQ(call.id, 10101u);
        EXPECT_EQ(call.param2, 0u);
        ASSERT_GE(call.record.size(), kShortSize);
        EXPECT_EQ(Get(call.record, 0, 2), item.indent ? kExtendedSize : kShortSize);

        const std::uint64_t address = Get(call.record, 50, sizeof(void*));
        if (!item.caption) {
            EXPECT_EQ(address, 0u);
        } else {
            ASSERT_NE(address, 0u);
            const char* text = reinterpret_cast<const char*>(address);
            EXPECT_EQ(ConvertFromCp1250(text), std::optional<std::string>(item.caption));
        }
        const std::string expected = ExpectedCreation(item, address);
        EXPECT_EQ(call.record, expected) << DiffBytes(call.record, expected);
    }
}

TEST_F(SettingsPage, FourIndentedColorFieldsUseTheExtendedForm) {
    std::vector<std::uint32_t> extended;
    for (const tools::StoredItem& item : host_->Items())
        if (item.record.size == kExtendedSize)
            extended.push_back(std::uint32_t(item.record.number));
        else
            EXPECT_EQ(std::uint16_t(item.record.size), kShortSize)
                << std::uint32_t(item.record.number);
    EXPECT_EQ(extended, (std::vector<std::uint32_t>{1000025, 1000023, 1000021, 1000024}));
}

// Each caption is stored in code page 1250: the system's converter must turn
// it into the Polish text, which UTF-8 bytes (or another code page) would not give.
TEST_F(SettingsPage, CaptionsAreCodePage1250) {
    const auto& items = host_->Items();
    ASSERT_EQ(items.size(), 31u);
    for (std::size_t k = 0; k < items.size(); ++k) {
        const char* caption = kExpectedItems[k].caption;
        SCOPED_TRACE(caption ? caption : "(no text)");
        if (!caption) {
            EXPECT_TRUE(items[k].text.empty());
            continue;
        }
        EXPECT_EQ(ConvertFromCp1250(items[k].text), std::optional<std::string>(caption));
        // The tool's own converter agrees with the system's.
        EXPECT_EQ(tools::Cp1250ToUtf8(items[k].text), caption);
    }
}

// The stand-in host's converter against the system's, for every byte.
TEST(SettingsPageConverter, MatchesIconvForEveryByte) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const auto reference = ConvertFromCp1250(one);
        SCOPED_TRACE(byte);
        EXPECT_EQ(tools::Cp1250ToUtf8(one), reference.value_or("\xEF\xBF\xBD"));  // U+FFFD
    }
}

struct ToggleCase {
    std::uint32_t name;        // the category name's item number n
    std::uint32_t colorField;  // its colour field's number
    std::uint32_t before;      // the field's status before
    std::uint32_t sent;        // the status the plug-in sends, with mask 2
    std::uint32_t after;       // the status the host then keeps
};

const ToggleCase kToggleCases[] = {
    {1000026, 1000022, 0x6, 0, 0x4},
    {1000026, 1000022, 0x4, 2, 0x6},
    {1000027, 1000024, 0x0, 2, 0x2},
    {1000028, 1000025, 0x2, 0, 0x0},
    {1000029, 1000023, 0xFFFFFFFF, 0, 0xFFFFFFFD},
    {1000030, 1000021, 0x1, 2, 0x3},
};

TEST_F(SettingsPage, CategoryNameFlipsBitTwoOfItsColorField) {
    for (const ToggleCase& c : kToggleCases) {
        SCOPED_TRACE("name " + std::to_string(c.name) + " status " + std::to_string(c.before));
        SetStatus(c.colorField, c.before);
        host_->ClearReceived();
        EXPECT_EQ(Notify(kTag + c.name), 0);
        const std::vector<ReceivedCall>& calls = host_->Received();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].id, 10107u);
        EXPECT_EQ(calls[0].param2, 0u);
        const std::string query = ExpectedStatusRecord(c.colorField, 0, 0xFFFFFFFF);
        EXPECT_EQ(calls[0].record, query) << DiffBytes(calls[0].record, query);
        EXPECT_EQ(calls[1].id, 10108u);
        EXPECT_EQ(calls[1].param2, 0u);
        const std::string change = ExpectedStatusRecord(c.colorField, c.sent, 2);
        EXPECT_EQ(calls[1].record, change) << DiffBytes(calls[1].record, change);
        EXPECT_EQ(StatusOf(c.colorField), c.after);
        SetStatus(c.colorField, 0);
    }
}

TEST_F(SettingsPage, OtherItemsSendNothing) {
    const std::uint32_t kIgnored[] = {
        kTag + 1000043,        // a switch
        kTag + 1000031,        // a switch
        kTag + 1000022,        // a colour field
        kTag + 1000060,        // the page's number
        kTag + 1000025,        // a colour field
        0x12000000 + 1000026,  // top byte 0x12
        0x01000000 + 1000026,  // top byte 0x01: would give the name once 0x11000000 is cleared
        0x10000000 + 1000026,  // top byte 0x10
        1000026,               // no top byte
    };
    for (const std::uint32_t number : kIgnored) {
        SCOPED_TRACE(number);
        host_->ClearReceived();
        EXPECT_EQ(Notify(number), 0);
        EXPECT_TRUE(host_->Received().empty());
    }
    EXPECT_EQ(host_->UnhandledReports(), 0);
    for (const tools::StoredItem& item : host_->Items()) EXPECT_EQ(item.status, 0u);
}

// ---------------------------------------------------------------------------
// lumarix-host --page and --toggle.

struct CliCase {
    std::vector<std::string> args;
    int exitStatus;
    std::vector<std::string> lines;  // stdout lines that must appear, in this order
    std::string error;               // text stderr must hold; empty: stderr is empty
};

constexpr const char* kHint =
    "                  hint: Kolor wpisujemy w postaci szesnastkowej z # na początku";

const CliCase kCliCases[] = {
    {{"--page"},
     0,
     {"== Lumarix ==  (icon 100)", "-- Informacje --", "  Wtyczka służy do formatowania składni",
      "  Narazie obsługuje tylko język Delphi", "-- Kolory --",
      "  Słowa kluczowe  [#000000] shown  [x] Pogrubiony  [ ] Pochylony  [ ] Podkreślony", kHint,
      "  Stringi         [#0000FF] shown  [ ] Pogrubiony  [ ] Pochylony  [ ] Podkreślony", kHint,
      "  Cyfry           [#FF0000] shown  [ ] Pogrubiony  [ ] Pochylony  [ ] Podkreślony", kHint,
      "  Komentarze      [#000080] shown  [ ] Pogrubiony  [x] Pochylony  [ ] Podkreślony", kHint,
      "  Operatory       [#840000] shown  [x] Pogrubiony  [ ] Pochylony  [ ] Podkreślony", kHint},
     ""},
    {{"--set", "LX/Style/Bold/Strings=1", "--set", "LX/Colors/Numbers=red", "--set",
      "LX/Style/Italic/Comments=0", "--page"},
     0,
     {"  Stringi         [#0000FF] shown  [x] Pogrubiony  [ ] Pochylony  [ ] Podkreślony",
      "  Cyfry           [red] shown      [ ] Pogrubiony  [ ] Pochylony  [ ] Podkreślony",
      "  Komentarze      [#000080] shown  [ ] Pogrubiony  [ ] Pochylony  [ ] Podkreślony"},
     ""},
    {{"--toggle", "Cyfry", "--page"},
     0,
     {"operated 0x110F425D (Cyfry), answer 0: colour field 1000023 hidden (status 0x2)",
      "  Cyfry           [#FF0000] hidden  [ ] Pogrubiony  [ ] Pochylony  [ ] Podkreślony",
      "  Komentarze      [#000080] shown   [ ] Pogrubiony  [x] Pochylony  [ ] Podkreślony"},
     ""},
    // The status persists from one toggle to the next; names and numbers agree.
    {{"--toggle", "Słowa kluczowe", "--toggle", "1000026", "--toggle", "0x110F425A"},
     0,
     {"operated 0x110F425A (Słowa kluczowe), answer 0: colour field 1000022 hidden (status 0x2)",
      "operated 0x110F425A (Słowa kluczowe), answer 0: colour field 1000022 shown (status 0x0)",
      "operated 0x110F425A (Słowa kluczowe), answer 0: colour field 1000022 hidden (status 0x2)"},
     ""},
    {{"--toggle", "1000043"},
     0,
     {"operated 0x110F426B (Pogrubiony), answer 0: colour field 1000022 shown (status 0x0)"},
     ""},
    {{"--toggle", "0x120F425A"},
     0,
     {"operated 0x120F425A, answer 0: no such item on the page"},
     ""},
    {{"--toggle", "Pogrubiony"}, 2, {}, "'Pogrubiony' names 5 items on the settings page"},
    {{"--toggle", "Nic"}, 2, {}, "no item on the settings page is named 'Nic'"},
    {{"--toggle", "0x100000000"}, 2, {}, "is not a 32-bit item number"},
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

TEST(SettingsPageCli, PrintsThePageAndOperatesItems) {
    for (const CliCase& c : kCliCases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a + " ";
        SCOPED_TRACE(shown);
        // A message on standard input must be left alone: the page needs none.
        const auto result = testing::RunHost(c.args, "[delphi]begin[/delphi]");
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(result.out.find("delphi"), std::string::npos);
        EXPECT_EQ(result.out.find("<font"), std::string::npos);
        if (c.error.empty())
            EXPECT_EQ(result.err, "");
        else
            EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;

        const std::vector<std::string> lines = SplitLines(result.out);
        std::size_t at = 0;
        for (const std::string& expected : c.lines) {
            while (at < lines.size() && lines[at] != expected) ++at;
            EXPECT_LT(at, lines.size()) << "missing or out of order: " << expected << "\n"
                                        << result.out;
            if (at < lines.size()) ++at;
        }
    }
}

}  // namespace
}  // namespace lumarix
