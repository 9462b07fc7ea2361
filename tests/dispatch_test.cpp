// The exported entry point, loaded at run time as the messenger loads it:
// every row of the dispatch table, and what reaches the host.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/protocol.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using tools::StandInHost;

class DispatchTest : public testing::PluginTest {
  protected:
    void Hold() { HoldControl(); }
};

// The tests below use the protocol's names where a number is a means, not the
// subject; this pins the names to the host's numbers.
TEST(Protocol, NamesCarryTheHostsNumbers) {
    const std::pair<std::uint32_t, std::uint32_t> pins[] = {
        {kItemNumberTag, 0x11000000}, {kItemTagMask, 0xFF000000}, {kSettingsPageId, 1000010},
        {kFlagRewriteIntoCopy, 0x2},  {kFlagBodyReplaced, 0x200}, {kFlagForwarded, 0x3000},
        {kStatusHidden, 0x2},         {kItemSwitch, 0x60000},     {kItemColorEntry, 0x80B0000},
        {kItemSameLine, 0x40},        {kItemPlainText, 0x80000},  {kItemPage, 0x10},
        {kItemGroupStart, 0xF0000},   {kItemGroupEnd, 0x100000},  {kSendQueryValue, 10106},
        {kSendQueryStatus, 10107},    {kSendChangeStatus, 10108}, {kSendCreateItem, 10101},
        {kSendPageIcon, 10109},       {kSendRecord, 10103},       {kSendNewMessageId, 200},
        {kSendForwardMessage, 250},   {kSendDeclareColumn, 1102}, {kRequestCreate, 863},
        {kRequestStatus, 1},          {kRequestValue, 0x10040},   {kPageItemParent, 46},
        {kDescriptionWord1, 40},      {kDescriptionWord2, 100},
    };
    for (const auto& [name, number] : pins) EXPECT_EQ(name, number);
    EXPECT_EQ(kLeadWord, -2);
    EXPECT_EQ(kCreationLeadWord, -1);
}

TEST_F(DispatchTest, IdentityAnswers) {
    Hold();
    struct Row {
        std::uint32_t id;
        std::intptr_t number;  // for number answers
        const char* text;      // for text answers
    };
    const Row rows[] = {
        {30010, 1000, nullptr}, {30011, 536, nullptr}, {30012, 0, "0.1a"},    {30013, 0, "LUMARIX"},
        {30014, 0, "W98"},      {30015, 0, nullptr},   {30016, 0, "Lumarix"}, {30017, 0, nullptr},
        {20020, 2, nullptr},    {20021, 64, nullptr},
    };
    for (const Row& row : rows) {
        const std::intptr_t answer = host_->Call(row.id);
        if (row.text)
            EXPECT_STREQ(reinterpret_cast<const char*>(answer), row.text) << row.id;
        else
            EXPECT_EQ(answer, row.number) << row.id;
    }
    EXPECT_EQ(host_->UnhandledReports(), 0);
    EXPECT_TRUE(host_->Received().empty());
}

TEST_F(DispatchTest, TextAnswersKeepTheirAddress) {
    for (std::uint32_t id : {30012u, 30013u, 30014u, 30016u})
        EXPECT_EQ(host_->Call(id), host_->Call(id)) << id;
}

TEST_F(DispatchTest, ControlCallsAndWorkCallsAnswerAsTheTableSays) {
    Hold();
    EXPECT_EQ(host_->Call(21001), 1);
    EXPECT_EQ(host_->Call(21020), 0);
    EXPECT_EQ(host_->Call(22100), 1);
    EXPECT_EQ(host_->Call(22000), 1);
    EXPECT_EQ(host_->Call(20100, 0), 1);  // no record: nothing read
    EXPECT_EQ(host_->Call(22200, 0), 0);
    EXPECT_EQ(host_->Call(20002), 1);
    EXPECT_EQ(host_->UnhandledReports(), 0);
}

const std::uint32_t kUnnamedIds[] = {
    0,     1,     200,   20000, 20003, 20019, 20022, 20099, 20101, 21000,      21002,      21019,
    21021, 21999, 22001, 22099, 22101, 22199, 22201, 30009, 30018, 0x11000000, 0xFFFFFFFFu};

TEST_F(DispatchTest, UnnamedIdsReportOnceWithAControlHeld) {
    Hold();
    for (std::uint32_t id : kUnnamedIds) {
        const int before = host_->UnhandledReports();
        EXPECT_EQ(host_->Call(id, 1, 2), 0) << id;
        EXPECT_EQ(host_->UnhandledReports(), before + 1) << id;
    }
    EXPECT_TRUE(host_->Received().empty());
}

TEST_F(DispatchTest, UnnamedIdsCallNothingWithoutAControl) {
    for (std::uint32_t id : kUnnamedIds) EXPECT_EQ(host_->Call(id), 0) << id;
    Hold();
    host_->Call(20002);
    EXPECT_EQ(host_->Call(20003), 0);
    EXPECT_EQ(host_->UnhandledReports(), 0);
}

TEST_F(DispatchTest, SecondControlReplacesTheFirst) {
    StandInHost other(module_->Entry());
    Hold();
    host_->Call(20001, reinterpret_cast<HostWord>(other.Control()));
    host_->Call(20003);
    EXPECT_EQ(host_->UnhandledReports(), 0);
    EXPECT_EQ(other.UnhandledReports(), 1);
}

// The host's record of call 22200: the item number at offset 2.
std::array<unsigned char, 80> PageNotice(std::uint32_t itemNumber) {
    std::array<unsigned char, 80> record{};
    std::memcpy(record.data() + 2, &itemNumber, 4);
    return record;
}

TEST_F(DispatchTest, PageNoticesOutsideTheCategoryNamesSendNothing) {
    Hold();
    host_->Call(22000);
    host_->ClearReceived();
    for (std::uint32_t number : {0x12000000u + 1000026, kItemNumberTag + 1000031,
                                 kItemNumberTag + 1000043, kItemNumberTag + 1000022, 0x01000000u}) {
        auto notice = PageNotice(number);
        EXPECT_EQ(host_->Call(22200, reinterpret_cast<HostWord>(notice.data())), 0) << number;
    }
    EXPECT_TRUE(host_->Received().empty());
    EXPECT_EQ(host_->UnhandledReports(), 0);
}

TEST_F(DispatchTest, CallsThatNeedTheHostSendNothingWithoutAControl) {
    // No control: each answers as usual and nothing may be dereferenced.
    EXPECT_EQ(host_->Call(21001), 1);
    EXPECT_EQ(host_->Call(22000), 1);
    EXPECT_EQ(host_->Call(21020), 0);
    EXPECT_EQ(host_->Call(22100), 1);
    auto notice = PageNotice(kItemNumberTag + 1000026);
    EXPECT_EQ(host_->Call(22200, reinterpret_cast<HostWord>(notice.data())), 0);
    EXPECT_TRUE(host_->Received().empty());
}

// The twenty columns as call 21001 must register them, in order.
struct ExpectedColumn {
    std::uint32_t number;
    const char* key;
    std::uint32_t type;
    const char* defaultText;
    std::uint32_t defaultInt;
};

const ExpectedColumn kExpectedColumns[20] = {
    {1000021, "LX/Colors/Comments", 1, "#000080", 0},
    {1000022, "LX/Colors/Key_words", 1, "#000000", 0},
    {1000025, "LX/Colors/Strings", 1, "#0000FF", 0},
    {1000023, "LX/Colors/Numbers", 1, "#FF0000", 0},
    {1000024, "LX/Colors/Operators", 1, "#840000", 0},
    {1000031, "LX/Style/Bold/Strings", 0, nullptr, 0},
    {1000043, "LX/Style/Bold/Key_words", 0, nullptr, 1},
    {1000037, "LX/Style/Bold/Numbers", 0, nullptr, 0},
    {1000040, "LX/Style/Bold/Comments", 0, nullptr, 0},
    {1000034, "LX/Style/Bold/Operators", 0, nullptr, 1},
    {1000032, "LX/Style/Italic/Strings", 0, nullptr, 0},
    {1000044, "LX/Style/Italic/Key_words", 0, nullptr, 0},
    {1000038, "LX/Style/Italic/Numbers", 0, nullptr, 0},
    {1000041, "LX/Style/Italic/Comments", 0, nullptr, 1},
    {1000035, "LX/Style/Italic/Operators", 0, nullptr, 0},
    {1000033, "LX/Style/Underline/Strings", 0, nullptr, 0},
    {1000045, "LX/Style/Underline/Key_words", 0, nullptr, 0},
    {1000039, "LX/Style/Underline/Numbers", 0, nullptr, 0},
    {1000042, "LX/Style/Underline/Comments", 0, nullptr, 0},
    {1000036, "LX/Style/Underline/Operators", 0, nullptr, 0},
};

// A field of a record as sent, decoded at the record's own offset; address
// fields are as wide as a pointer.
template <typename T>
T FieldAt(const std::string& bytes, std::size_t at) {
    T value;
    std::memcpy(&value, &bytes[at], sizeof value);
    return value;
}

constexpr std::size_t kKeyAt = 31 + sizeof(HostWord);  // behind the default

TEST_F(DispatchTest, RegistrationSendsTwentyColumnsInOrder) {
    Hold();
    host_->ClearReceived();
    ASSERT_EQ(host_->Call(21001), 1);
    const auto& calls = host_->Received();
    ASSERT_EQ(calls.size(), 20u);
    for (std::size_t k = 0; k < 20; ++k) {
        const std::string& bytes = calls[k].record;
        ASSERT_EQ(calls[k].id, 1102u);
        ASSERT_EQ(bytes.size(), sizeof(ColumnRecord));
        EXPECT_EQ(FieldAt<std::uint32_t>(bytes, 23), kExpectedColumns[k].number);
        EXPECT_STREQ(reinterpret_cast<const char*>(FieldAt<HostWord>(bytes, kKeyAt)),
                     kExpectedColumns[k].key);
    }
}

class ColumnRecordTest : public DispatchTest {
  protected:
    // The records of the calls that call 21001 makes.
    std::vector<std::string> RegisterColumns() {
        Hold();
        host_->ClearReceived();
        host_->Call(21001);
        std::vector<std::string> records;
        for (const auto& call : host_->Received()) records.push_back(call.record);
        return records;
    }
};

TEST_F(ColumnRecordTest, OpensWithItsHead) {
    const std::vector<std::string> records = RegisterColumns();
    ASSERT_EQ(records.size(), 20u);
    for (const std::string& bytes : records) {
        ASSERT_EQ(bytes.size(), sizeof(ColumnRecord));
        EXPECT_EQ(FieldAt<std::uint16_t>(bytes, 0), sizeof(ColumnRecord));
        EXPECT_EQ(FieldAt<std::uint32_t>(bytes, 2), 1102u);
        for (std::size_t at : {6u, 10u, 14u, 18u}) EXPECT_EQ(FieldAt<std::uint32_t>(bytes, at), 0u);
        EXPECT_EQ(bytes[22], 0);
    }
}

TEST_F(ColumnRecordTest, CarriesTypeAndDefault) {
    const std::vector<std::string> records = RegisterColumns();
    ASSERT_EQ(records.size(), 20u);
    for (std::size_t k = 0; k < 20; ++k) {
        const ExpectedColumn& c = kExpectedColumns[k];
        ASSERT_EQ(records[k].size(), sizeof(ColumnRecord));
        EXPECT_EQ(FieldAt<std::uint32_t>(records[k], 27), c.type) << c.key;
        const HostWord def = FieldAt<HostWord>(records[k], 31);
        if (c.type == 1)
            EXPECT_STREQ(reinterpret_cast<const char*>(def), c.defaultText) << c.key;
        else
            EXPECT_EQ(def, c.defaultInt) << c.key;
    }
}

TEST_F(DispatchTest, RebuildReadsTwentyColumnsThroughValueQueries) {
    Hold();
    host_->Call(21001);
    host_->ClearReceived();
    host_->Call(22100);
    const auto& calls = host_->Received();
    ASSERT_EQ(calls.size(), 20u);
    std::vector<std::uint32_t> columns;
    for (const auto& call : calls) {
        ASSERT_EQ(call.id, 10106u);
        ASSERT_EQ(call.param2, 0u);
        const std::string& q = call.record;
        ASSERT_EQ(q.size(), kPageItemSize);
        EXPECT_EQ(FieldAt<std::uint16_t>(q, 0), kPageItemSize);  // 74 on the 32-bit target
        EXPECT_EQ(FieldAt<std::uint32_t>(q, 6), 1000010u);
        EXPECT_EQ(FieldAt<std::int32_t>(q, 10), -2);
        EXPECT_EQ(FieldAt<std::int32_t>(q, 14), 0);
        EXPECT_EQ(FieldAt<std::int32_t>(q, 22), 0);
        EXPECT_EQ(FieldAt<std::uint32_t>(q, 30), 0x10040u);
        columns.push_back(FieldAt<std::uint32_t>(q, 2) - kItemNumberTag);
    }
    std::vector<std::uint32_t> expected;
    for (std::uint32_t c = 1000031; c <= 1000045; ++c) expected.push_back(c);
    for (std::uint32_t c : {1000025u, 1000023u, 1000021u, 1000022u, 1000024u})
        expected.push_back(c);
    EXPECT_EQ(columns, expected);
}

}  // namespace
}  // namespace lumarix
