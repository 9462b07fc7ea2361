// Shared helpers of the tests: running the stand-in host, real Pascal sources.
#pragma once

#include <string>
#include <vector>

namespace lumarix::testing {

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
