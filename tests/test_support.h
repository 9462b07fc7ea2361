// Shared helpers of the tests: running the stand-in host, real Pascal sources.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/reference_model.h"
#include "tools/module_loader.h"
#include "tools/stand_in_host.h"

namespace lumarix::testing {

// A sanitizer's allocator keeps its own books and holds freed memory back,
// so what the C heap or a process holds is not measured under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kAddressSanitized = __has_feature(address_sanitizer);
#else
inline constexpr bool kAddressSanitized = false;
#endif

using reference::kWorkedExample;
using reference::kWorkedExampleHtml;

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
    std::size_t peakResidentBytes = 0;  // the most memory the process had resident
};

// Runs the built lumarix-host with `args`, feeding `input` on standard input.
ProcessResult RunHost(const std::vector<std::string>& args, const std::string& input);

std::string ReadFile(const std::string& path);

// Pascal source files of the installed Free Pascal sources, in a fixed order,
// at most `limit` of them; empty when the package is missing.
std::vector<std::string> PascalSourceFiles(std::size_t limit);

// Removes the plug-in's tags from block HTML and turns its entities back into
// their bytes, which should give back the block source.
std::string StripTagsAndUnescape(const std::string& html);

}  // namespace lumarix::testing
