// The engine alone: this program links highlight/ and no host/ file. Before
// any settings arrive, the tags are the defaults, so bodies come out in
// whole, balanced tags.
#include <gtest/gtest.h>

#include <string>

#include "highlight/formatter.h"
#include "highlight/style_tags.h"
#include "tests/reference_model.h"

namespace lumarix {
namespace {

TEST(EngineAlone, TagsBeforeAnyRebuildAreTheDefaults) {
    const reference::KindTags expected = reference::TagsOf(reference::kDefaultStyles);
    for (std::size_t kind = 0; kind < kTokenKindCount; ++kind) {
        EXPECT_EQ(styleTags.kinds[kind].open.View(), expected.open[kind]) << kind;
        EXPECT_EQ(styleTags.kinds[kind].close.View(), expected.close[kind]) << kind;
    }
    EXPECT_EQ(std::string(FormatBody(reference::kWorkedExample)), reference::kWorkedExampleHtml);
}

}  // namespace
}  // namespace lumarix
