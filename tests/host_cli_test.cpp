// lumarix-host as a user runs it: bytes in, bytes out, clear errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/test_support.h"
#include "tools/page_view.h"

namespace lumarix::testing {
namespace {

constexpr const char* kExample = kWorkedExample;
constexpr const char* kExampleHtml = kWorkedExampleHtml;

std::string WriteTemp(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST(HostCli, WorkedExample) {
    const ProcessResult r = RunHost({}, kExample);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, kExampleHtml);
    EXPECT_EQ(r.err, "");
}

TEST(HostCli, CopyPathPrintsTheForwardedBody) {
    const ProcessResult r = RunHost({"--copy"}, kExample);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, kExampleHtml);
}

TEST(HostCli, BodiesWithoutBlocksPassUnchanged) {
    for (const std::string body : {"", "plain\r\n\xE9\xFF text", "[delphi] open only\n"}) {
        const ProcessResult r = RunHost({}, body);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.out, body);
    }
}

TEST(HostCli, SettingsFromTheCommandLineAndAFile) {
    const std::string file = WriteTemp("lumarix-settings-ok.txt",
                                       "# colours\r\nLX/Colors/Key_words=#123456\n\n"
                                       "LX/Style/Italic/Key_words=1\nLX/Colors/Numbers=a=b\n");
    const ProcessResult r = RunHost({"--settings", file, "--set", "LX/Style/Bold/Key_words=0"},
                                    "[delphi]end;1[/delphi]");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out,
              "<font style=\"font-weight: normal;\" face=\"Courier New\">"
              "<font color=\"#123456\"><i>end</i></font><font color=\"#840000\"><b>;</b></font>"
              "<font color=\"a=b\">1</font></font>");
}

// Settings files as editors save them: every form gives the same setting.
TEST(HostCli, SettingsFileFormsAllRead) {
    const std::string forms[] = {
        "LX/Colors/Numbers=#00AA00\n",
        "\xEF\xBB\xBFLX/Colors/Numbers=#00AA00\r\n",
        "# numbers\r\n\r\n  LX/Colors/Numbers=#00AA00  \r\n",
        "\tLX/Colors/Numbers = #00AA00",
        "\n   \n  # LX/Colors/Numbers=#FFFFFF\nLX/Colors/Numbers\t=\t#00AA00\n",
    };
    for (const std::string& form : forms) {
        const ProcessResult r = RunHost(
            {"--settings", WriteTemp("lumarix-settings-form.txt", form)}, "[delphi]x:=1;[/delphi]");
        EXPECT_EQ(r.exitStatus, 0) << form << r.err;
        EXPECT_NE(r.out.find("<font color=\"#00AA00\">1</font>"), std::string::npos) << form;
    }
}

TEST(HostCli, HelpListsEveryOption) {
    for (const char* ask : {"--help", "-h"}) {
        const ProcessResult r = RunHost({"--page", ask}, "");
        EXPECT_EQ(r.exitStatus, 0) << ask;
        EXPECT_EQ(r.err, "") << ask;
        for (const char* option :
             {"--set KEY=VALUE", "--settings FILE", "--copy", "--message FILE", "--encoding NAME",
              "--preview FILE.html", "--time HH:MM", "--page", "--toggle NAME", "--info", "--trace",
              "--module PATH", "-h, --help"})
            EXPECT_NE(r.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
    }
}

// UTF-8 typed on Linux reaches the plug-in as the messenger's code page 1250.
TEST(HostCli, Utf8TextIsConvertedToTheHostCodePage) {
    const std::string utf8 = "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 [delphi]s := '\xC5\x9A';[/delphi]";
    const std::string cp1250 = "Za\xBF\xF3\xB3\xE6 [delphi]s := '\x8C';[/delphi]";
    const ProcessResult r = RunHost({"--encoding", "utf-8"}, utf8);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, RunHost({}, cp1250).out);
    EXPECT_EQ(RunHost({"--encoding", "cp1250"}, utf8).out, RunHost({}, utf8).out);
    // Every character the code page holds comes through as its one byte.
    std::string bytes, spelled;
    for (int byte = 0x80; byte < 0x100; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        if (tools::Cp1250ToUtf8(one) == "\xEF\xBF\xBD") continue;  // U+FFFD: not in the code page
        bytes += one;
        spelled += tools::Cp1250ToUtf8(one);
    }
    EXPECT_EQ(RunHost({"--encoding", "utf-8"}, spelled).out, bytes);
}

TEST(HostCli, BadUsageFailsWithOneLineAndNoOutput) {
    const std::string badFile =
        WriteTemp("lumarix-settings-bad.txt", "# ok\nLX/Colors/Numbers=red\nno equals sign\n");
    const std::string caseFile =
        WriteTemp("lumarix-settings-case.txt",
                  "\xEF\xBB\xBF\r\nLX/Colors/Numbers=red\r\nlx/colors/strings=red\r\n");
    const std::string dir = std::filesystem::temp_directory_path().string();
    struct Case {
        std::vector<std::string> args;
        std::string body;
        std::string mentions;
    };
    const Case cases[] = {
        {{"--bogus"}, kExample, "--bogus"},
        {{"--set"}, kExample, "--set"},
        {{"--set", "novalue"}, kExample, "KEY=VALUE"},
        {{"--set", "LX/Colors/Nope=red"}, kExample, "LX/Colors/Nope"},
        {{"--settings", badFile}, kExample, ":3:"},
        {{"--settings", "/nonexistent/settings"}, kExample, "/nonexistent/settings"},
        {{"--module", "/nonexistent/lumarix.so"}, kExample, "/nonexistent/lumarix.so"},
        {{}, std::string("a [delphi]x\0y[/delphi]", 22), "NUL"},
        {{"--set", "LX/Colors/Number=red"}, kExample, "did you mean 'LX/Colors/Numbers'?"},
        {{"--settings", caseFile},
         kExample,
         ":3: unknown settings key 'lx/colors/strings'; did you mean 'LX/Colors/Strings'?"},
        {{"--settings", dir}, kExample, "--settings needs FILE; " + dir + " is a directory"},
        {{"--message", dir}, kExample, "--message needs FILE; " + dir + " is a directory"},
        {{"--preview", dir}, kExample, "--preview needs FILE.html; " + dir + " is a directory"},
        {{"--module", dir}, kExample, "--module needs PATH; " + dir + " is a directory"},
        {{"--preview", ""}, kExample, "--preview needs FILE.html"},
        {{"--toggle", "42"}, "", "no item on the settings page has number '42'"},
        {{"--toggle", "0x1100002A"}, "", "no item on the settings page has number"},
        {{"--page", "--preview", "x.html"}, "", "--page cannot be combined with --preview"},
        {{"--info", "--set", "Bogus=1"}, "", "--info cannot be combined with --set"},
        {{"--info", "--settings", badFile}, "", "--info cannot be combined with --settings"},
        {{"--toggle", "Cyfry", "--message", "f"}, "", "--toggle cannot be combined with --message"},
        {{"--copy", "--page"}, "", "--copy cannot be combined with --page"},
        {{"--encoding", "latin2"}, kExample, "--encoding takes utf-8 or cp1250, not 'latin2'"},
        {{"--encoding", "utf-8"}, "caf\xE9 [delphi]x[/delphi]", "not UTF-8"},
        {{"--encoding", "utf-8"}, "\xE2\x82\xAC\xE2\x98\x83", "code page 1250"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = RunHost(c.args, c.body);
        EXPECT_EQ(r.exitStatus, 2) << c.mentions;
        EXPECT_EQ(r.out, "") << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(HostCli, InfoPrintsTheIdentity) {
    const ProcessResult r = RunHost({"--info"}, "");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (const char* line :
         {"30010: 1000\n", "30011: 536\n", "30012: \"0.1a\"\n", "30013: \"LUMARIX\"\n",
          "30014: \"W98\"\n", "30015: 0\n", "30016: \"Lumarix\"\n", "30017: 0\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

TEST(HostCli, TraceShowsCallsBothWays) {
    const ProcessResult r = RunHost({"--trace", "--copy"}, kExample);
    EXPECT_EQ(r.exitStatus, 0);
    for (const char* text :
         {"host -> plug-in 20001", "plug-in -> host 1102", "plug-in -> host 10106",
          "plug-in -> host 10109", "plug-in -> host 10101", "plug-in -> host 200",
          "plug-in -> host 10103", "host <- plug-in 20100 = 1", "host -> plug-in 20002"})
        EXPECT_NE(r.err.find(text), std::string::npos) << text;
}

// A conversation of large messages: the host writes each result as it comes,
// the preview too, so that it holds little more than the bodies and the
// results the plug-in keeps.
TEST(HostCli, LargeConversationHoldsEachResultOnce) {
    if (kAddressSanitized) GTEST_SKIP() << "the sanitizer holds freed memory back";
    std::string block = "[delphi]";
    while (block.size() < (std::size_t{4} << 20))
        block += "if x > 0 then begin s := 'text'; { note } n := n + 1 end;\n";
    block += "[/delphi]";
    const std::string file = WriteTemp("lumarix-large-message.txt", block);
    const std::string preview = WriteTemp("lumarix-large-preview.html", "");
    const ProcessResult r = RunHost({"--message", file, "--message", file, "--message", file,
                                     "--message", file, "--preview", preview, "--time", "12:30"},
                                    "");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const double needed =
        4.0 * static_cast<double>(block.size()) + static_cast<double>(r.out.size());
    EXPECT_LE(static_cast<double>(r.peakResidentBytes), 1.25 * needed)
        << r.peakResidentBytes << " bytes resident for " << needed << " of bodies and results";
    EXPECT_GT(std::filesystem::file_size(preview), r.out.size());
    for (const std::string& path : {file, preview}) std::filesystem::remove(path);
}

// Real Pascal files as blocks: the text around the block is unchanged and the
// block's source comes back from the HTML.
TEST(HostCli, RealPascalFilesRoundTrip) {
    const auto files = PascalSourceFiles(12);
    if (files.empty()) GTEST_SKIP() << "fpc-source is not installed";
    for (const std::string& path : files) {
        std::string source = ReadFile(path);
        if (source.find('\0') != std::string::npos || source.find("[/delphi]") != std::string::npos)
            continue;
        const std::string before = "See <this> & that:\r\n", after = "\r\n-- end [/delphi]";
        const ProcessResult r = RunHost({}, before + "[delphi]" + source + "[/delphi]" + after);
        ASSERT_EQ(r.exitStatus, 0) << path << r.err;
        ASSERT_EQ(r.out.compare(0, before.size(), before), 0) << path;
        ASSERT_GE(r.out.size(), before.size() + after.size());
        ASSERT_EQ(r.out.substr(r.out.size() - after.size()), after) << path;
        const std::string html =
            r.out.substr(before.size(), r.out.size() - before.size() - after.size());
        EXPECT_EQ(StripTagsAndUnescape(html), source) << path;
    }
}

}  // namespace
}  // namespace lumarix::testing
