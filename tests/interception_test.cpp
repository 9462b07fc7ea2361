// Chat messages through call 20100 of the run-time loaded module: in place,
// into a forwarded copy, and left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "highlight/formatter.h"
#include "tests/reference_model.h"
#include "tests/test_support.h"

namespace lumarix {
namespace {

using testing::kWorkedExample;

// Packed fields are read by value: gtest's macros bind references, which a
// packed field's address may not align.
template <typename T>
T ValueOf(T value) {
    return value;
}

using testing::kWorkedExampleHtml;

class InterceptionTest : public testing::PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        host_->Start();
        host_->ClearReceived();
    }

    // A message whose fields other than body and flags hold distinct values,
    // so a copy that loses or moves a byte shows.
    static ChatMessage MakeMessage(const char* body, std::uint32_t flags) {
        return {sizeof(ChatMessage),
                {0x01020304, 0x05060708, 0x090A0B0C},
                "from",
                "peer-id",
                body,
                "extra",
                flags,
                {34, 38, -2, 46, 50, 54}};
    }

    std::intptr_t Send(ChatMessage& m) {
        return host_->Call(20100, reinterpret_cast<HostWord>(&m));
    }
};

TEST_F(InterceptionTest, InPlace) {
    ChatMessage m = MakeMessage(kWorkedExample, 0);
    EXPECT_EQ(Send(m), 2);
    EXPECT_STREQ(ValueOf(m.body), kWorkedExampleHtml);
    EXPECT_EQ(ValueOf(m.flags), 0x200u);
    EXPECT_TRUE(host_->Received().empty());
}

TEST_F(InterceptionTest, MessagesWithoutBothMarkersPassUntouched) {
    for (const char* body : {"", "hello", "[delphi] begin", "end [/delphi]", "[DELPHI]x[/DELPHI]",
                             "[Delphi]x[/delphi]"}) {
        for (std::uint32_t flags : {0u, 0x2u}) {
            ChatMessage m = MakeMessage(body, flags);
            const ChatMessage before = m;
            EXPECT_EQ(Send(m), 1) << body;
            EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << body;
        }
    }
    EXPECT_TRUE(host_->Received().empty());
}

TEST_F(InterceptionTest, CopyPathForwardsARewrittenCopy) {
    ChatMessage m = MakeMessage(kWorkedExample, 0x2);
    const ChatMessage before = m;
    EXPECT_EQ(Send(m), 1);
    // The incoming message keeps its body and gains 0x3000.
    EXPECT_EQ(ValueOf(m.body), ValueOf(before.body));
    EXPECT_EQ(ValueOf(m.flags), 0x2u | 0x3000u);

    const auto& calls = host_->Received();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].id, 200u);
    EXPECT_EQ(calls[0].param1, 10u);
    EXPECT_EQ(calls[0].param2, reinterpret_cast<HostWord>(before.newIdText));
    EXPECT_EQ(calls[1].id, 10103u);
    EXPECT_EQ(calls[1].param2, 0u);

    ASSERT_EQ(host_->Forwarded().size(), 1u);
    const auto& forwarded = host_->Forwarded().back();
    const ForwardRecord& r = forwarded.record;
    EXPECT_EQ(ValueOf(r.head.size), sizeof(ForwardRecord));
    EXPECT_EQ(ValueOf(r.head.id), 250u);
    EXPECT_EQ(ValueOf(r.head.head1), 3u);
    EXPECT_EQ(ValueOf(r.head.head2), 4000u);  // the stand-in host's first answer to call 200
    EXPECT_EQ(ValueOf(r.head.head3), 310u);
    EXPECT_EQ(ValueOf(r.head.head4), 0u);
    EXPECT_EQ(ValueOf(r.zero), 0u);
    EXPECT_EQ(ValueOf(r.one), 1u);

    // The copy equals the incoming message but for body and flags.
    ChatMessage expected = before;
    expected.body = forwarded.message.body;
    expected.flags = 0x2 | 0x200;
    EXPECT_EQ(std::memcmp(&forwarded.message, &expected, sizeof expected), 0);
    EXPECT_EQ(forwarded.body, kWorkedExampleHtml);
}

TEST_F(InterceptionTest, CopyPathWithoutAControlLeavesTheMessageAlone) {
    host_->Call(20002);
    ChatMessage m = MakeMessage(kWorkedExample, 0x2);
    const ChatMessage before = m;
    EXPECT_EQ(Send(m), 1);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    EXPECT_TRUE(host_->Forwarded().empty());
    host_->Call(20001, reinterpret_cast<HostWord>(host_->Control()));
}

TEST_F(InterceptionTest, ChangedSettingsTakeEffectAfterTheRebuild) {
    ASSERT_TRUE(host_->SetValue("LX/Colors/Numbers", "red"));
    ASSERT_TRUE(host_->SetValue("LX/Style/Bold/Key_words", "0"));
    ChatMessage m = MakeMessage("[delphi]begin x:=1[/delphi]", 0);
    Send(m);
    const std::string unchanged = m.body;
    EXPECT_NE(unchanged.find("<b>begin</b>"), std::string::npos);  // not rebuilt yet

    host_->Call(22100);
    ChatMessage n = MakeMessage("[delphi]begin x:=1[/delphi]", 0);
    Send(n);
    const std::string rebuilt = n.body;
    EXPECT_NE(rebuilt.find("<font color=\"#000000\">begin</font>"), std::string::npos) << rebuilt;
    EXPECT_NE(rebuilt.find("<font color=\"red\">1</font>"), std::string::npos) << rebuilt;
}

TEST_F(InterceptionTest, EmptySettingValuesAreUsedAsEmptyText) {
    ASSERT_TRUE(host_->SetValue("LX/Colors/Key_words", ""));
    host_->Call(22100);
    ChatMessage m = MakeMessage("[delphi]end[/delphi]", 0);
    Send(m);
    EXPECT_NE(std::string(m.body).find("<font color=\"\"><b>end</b></font>"), std::string::npos);
}

// A body sent as the host would send it: the pointer itself, not a copy.
// Returns the text the user sees: the replaced body, or the forwarded copy's,
// or the body itself when the message passed unchanged.
const char* SendPointer(tools::StandInHost& host, const char* body, std::uint32_t flags) {
    ChatMessage m{};
    m.size = sizeof(ChatMessage);
    m.body = body;
    m.flags = flags;
    const std::size_t forwarded = host.Forwarded().size();
    host.Call(20100, reinterpret_cast<HostWord>(&m));
    if ((flags & 0x2) == 0 || host.Forwarded().size() == forwarded) return m.body;
    return host.Forwarded().back().message.body;
}

// The host may hand any result that is still valid back as a body (a quote, a
// resent or forwarded message), whole or from inside, at any age up to the
// nineteen results after it, and under other settings. The output is final:
// it passes unchanged, and no result still within its life is written over.
TEST_F(InterceptionTest, ResultsHandedBackPassUnchanged) {
    std::string code;  // long enough that a rewrite grows its storage
    for (int k = 0; k < 300; ++k) code += "x := y & z; ";
    const std::string bodies[] = {
        // markers in a comment, a closing marker behind the block
        "[delphi]{[delphi]}" + code + "[/delphi]x[/delphi]",
        // markers in a string, a closing marker before the block and an opening one after it:
        // handed back, such a result is copied into the ring
        "a [/delphi] [delphi]s := '[delphi]'; " + code + "[/delphi] [delphi] b",
        // a marker at the very end of a block
        "[/delphi][delphi]" + code + "// [delphi][/delphi][delphi]",
    };
    reference::Styles marked = reference::kDefaultStyles;  // colours that hold markers
    marked[2].color = "[delphi]\"";
    marked[3].color = "[/delphi]<";
    struct SettingsPair {
        reference::Styles first, then;
    };
    const SettingsPair pairs[] = {{reference::kDefaultStyles, marked},
                                  {marked, reference::kDefaultStyles}};
    const auto apply = [&](const reference::Styles& styles) {
        for (const auto& [column, value] : reference::SettingsOf(styles))
            ASSERT_TRUE(host_->SetValue(host_->FindColumn(column)->key, value));
        host_->Call(22100);
    };
    for (const SettingsPair& settings : pairs) {
        for (const std::string& body : bodies) {
            for (const std::uint32_t flags : {0u, 0x2u}) {
                for (std::size_t age = 0; age < ResultRing::kSlots; ++age) {
                    for (const std::size_t offset : {0u, 2u}) {
                        SCOPED_TRACE(::testing::Message()
                                     << body.substr(0, 24) << ", flags " << flags << ", age " << age
                                     << ", from offset " << offset);
                        apply(settings.first);
                        const char* result = SendPointer(*host_, body.c_str(), flags);
                        const std::string text = result;
                        ASSERT_EQ(text,
                                  reference::RenderBody(body, reference::TagsOf(settings.first)));
                        for (std::size_t k = 0; k < age; ++k)
                            SendPointer(*host_,
                                        ("[delphi]a" + std::to_string(k) + "[/delphi]").c_str(),
                                        flags);
                        apply(settings.then);
                        EXPECT_EQ(SendPointer(*host_, result + offset, flags), text.substr(offset));
                        if (age + 1 < ResultRing::kSlots) {
                            EXPECT_EQ(result, text) << "a result still within its life changed";
                        }
                    }
                }
            }
        }
    }
}

// Before the host reports its settings, messages take the settings' defaults,
// in whole tags: in place and through the copy path.
TEST_F(InterceptionTest, MessagesBeforeTheSettingsTakeTheDefaults) {
    const std::string bodies[] = {
        kWorkedExample,
        "a [delphi]{ c } 'It''s' x[1] := 2.5 <> y; (* d *)[/delphi] b [delphi]end[/delphi]",
    };
    const reference::KindTags tags = reference::TagsOf(reference::kDefaultStyles);
    for (const std::uint32_t flags : {0u, 0x2u}) {
        host_.reset();  // a module no host has started yet
        module_.reset();
        PluginTest::SetUp();
        HoldControl();
        for (const std::string& body : bodies) {
            const char* result = SendPointer(*host_, body.c_str(), flags);
            ASSERT_NE(result, nullptr) << body;
            EXPECT_EQ(result, reference::RenderBody(body, tags)) << body;
        }
    }
    EXPECT_EQ(SendPointer(*host_, kWorkedExample, 0), std::string(kWorkedExampleHtml));
}

}  // namespace
}  // namespace lumarix
