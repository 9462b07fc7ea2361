// Shared helpers of the tests: running the stand-in host, real Pascal sources.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/module_loader.h"
#include "tools/stand_in_host.h"

namespace lumarix::testing {

// The worked example with the default settings, and the body it becomes.
inline constexpr const char* kWorkedExample = "x [delphi]begin y:=1; end[/delphi] z";
inline constexpr const char* kWorkedExampleHtml =
    "x <font style=\"font-weight: normal;\" face=\"Courier New\">"
    "<font color=\"#000000\"><b>begin</b></font><font color=\"#840000\"><b> </b></font>y"
    "<font color=\"#840000\"><b>:=</b></font><font color=\"#FF0000\">1</font>"
    "<font color=\"#840000\"><b>; </b></font><font color=\"#000000\"><b>end</b></font></font> z";

// Loads the built module at run time, as the messenger does, and gives it a
// stand-in host that has made no call yet. The control is withdrawn at the
// end so that no test leaves it held for the next.
class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Call 20001 with this host's control.
    void HoldControl();

    std::unique_ptr<tools::LoadedModule> module_;
    std::unique_ptr<tools::StandInHost> host_;
};

struct ProcessResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs the built lumarix-host with `args`, feeding `input` on standard input.
ProcessResult RunHost(const std::vector<std::string>& args, const std::string& input);

std::string ReadFile(const std::string& path);

// Pascal source files of the installed Free Pascal sources, in a fixed order,
// at most `limit` of them; empty when the package is missing.
std::vector<std::string> PascalSourceFiles(std::size_t limit);

// Removes the plug-in's tags from block HTML and turns the three entities back
// into their bytes, which should give back the block source.
std::string StripTagsAndUnescape(const std::string& html);

}  // namespace lumarix::testing
