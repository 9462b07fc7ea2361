// Reading settings columns in-process against hosts that answer oddly.
#include <gtest/gtest.h>

#include "highlight/style_tags.h"
#include "host/host_link.h"
#include "host/records.h"
#include "host/settings_columns.h"
#include "tools/stand_in_host.h"

namespace lumarix {
namespace {

extern "C" std::intptr_t LX_STDCALL IMessageProc(HostCall* call);

class ColumnsTest : public ::testing::Test {
  protected:
    void TearDown() override { heldControl = nullptr; }
};

TEST_F(ColumnsTest, NullAnswerReadsAsTheEmptyText) {
    tools::StandInHost host(&IMessageProc);
    host.OverrideAnswers([](std::uint32_t, void*) { return std::optional<std::intptr_t>(0); });
    heldControl = host.Control();
    EXPECT_EQ(ReadColumnText(1000021), "");
    RebuildStyleTags(ReadCategoryStyles());
    EXPECT_EQ(styleTags[Category::Comments].open.View(), "<font color=\"\">");
    EXPECT_EQ(styleTags[Category::Key_words].close.View(), "</font>");
}

TEST_F(ColumnsTest, WithoutAControlTheRegisteredDefaultsApply) {
    heldControl = nullptr;
    for (const SettingsColumn& c : kSettingsColumns) {
        const std::string expected = c.isText ? c.defaultText : std::to_string(c.defaultInt);
        EXPECT_EQ(ReadColumnText(c.column), expected) << c.key;
    }
    EXPECT_EQ(ReadColumnText(1000030), "");  // no such column
    RebuildStyleTags(ReadCategoryStyles());
    EXPECT_EQ(styleTags[Category::Operators].open.View(), "<font color=\"#840000\"><b>");
    EXPECT_EQ(styleTags[Category::Comments].open.View(), "<font color=\"#000080\"><i>");
}

// The keys follow one rule: colours by category, switches by switch and category.
TEST_F(ColumnsTest, KeysFollowTheNumbering) {
    const char* switchCategories[] = {"Strings", "Operators", "Numbers", "Comments", "Key_words"};
    const char* switches[] = {"Bold", "Italic", "Underline"};
    const char* colourCategories[] = {"Comments", "Key_words", "Numbers", "Operators", "Strings"};
    for (const SettingsColumn& c : kSettingsColumns) {
        std::string expected;
        if (c.column < 1000031) {
            expected = std::string("LX/Colors/") + colourCategories[c.column - 1000021];
        } else {
            const std::uint32_t k = (c.column - 1000031) / 3, s = (c.column - 1000031) % 3;
            expected = std::string("LX/Style/") + switches[s] + "/" + switchCategories[k];
        }
        EXPECT_EQ(c.key, expected) << c.column;
    }
}

}  // namespace
}  // namespace lumarix
