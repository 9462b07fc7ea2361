// lumarix-host: the stand-in messenger. Loads the plug-in module, drives the
// host's call protocol, and passes one chat message body from standard input
// through the plug-in to standard output.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "tools/module_info.h"
#include "tools/module_loader.h"
#include "tools/page_view.h"
#include "tools/preview.h"
#include "tools/process_setup.h"
#include "tools/stand_in_host.h"

namespace lumarix::tools {
namespace {

constexpr int kUsageError = 2;

constexpr const char* kUsage =
    "usage: lumarix-host [--set KEY=VALUE]... [--settings FILE] [--copy] [--trace] [--info] "
    "[--module PATH] [--page] [--toggle NAME]... [--preview FILE.html] [--message FILE]...";

struct Options {
    std::vector<std::pair<std::string, std::string>> settings;  // in the order given
    bool copy = false;
    bool trace = false;
    bool info = false;
    bool page = false;                 // print the settings page, read no message
    std::vector<std::string> toggles;  // page items to operate, in the order given
    std::string modulePath;
    std::string previewPath;                // chat-window page to write, when given
    std::vector<std::string> messagePaths;  // one message body per file, in the order given
};

struct UsageError {
    std::string message;
};

std::pair<std::string, std::string> SplitSetting(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError{"expected KEY=VALUE, got '" + text + "'"};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

void ReadSettingsFile(const std::string& path, Options& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError{"cannot read settings file " + path};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError{path + ":" + std::to_string(number) + ": expected KEY=VALUE"};
        options.settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    auto valueOf = [&](int& k) -> std::string {
        if (k + 1 >= argc) throw UsageError{std::string(argv[k]) + " needs a value"};
        return argv[++k];
    };
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--set")
            options.settings.push_back(SplitSetting(valueOf(k)));
        else if (arg == "--settings")
            ReadSettingsFile(valueOf(k), options);
        else if (arg == "--copy")
            options.copy = true;
        else if (arg == "--trace")
            options.trace = true;
        else if (arg == "--info")
            options.info = true;
        else if (arg == "--page")
            options.page = true;
        else if (arg == "--toggle")
            options.toggles.push_back(valueOf(k));
        else if (arg == "--module")
            options.modulePath = valueOf(k);
        else if (arg == "--preview")
            options.previewPath = valueOf(k);
        else if (arg == "--message")
            options.messagePaths.push_back(valueOf(k));
        else
            throw UsageError{"unknown argument '" + arg + "'; " + kUsage};
    }
    if (options.modulePath.empty()) options.modulePath = DefaultModulePath(argv[0]);
    return options;
}

std::string ReadAllStdin() {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::string body;
    // A redirected file says its size: read it into a buffer of that size at once.
    struct stat info;
    if (fstat(fileno(stdin), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        body.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) body.append(buffer, n);
    return body;
}

// The message bodies to send. Plain use: all of standard input is one body. With
// --message, one body per file; with --preview alone, standard input holds a
// conversation, its messages separated by form feeds.
std::vector<std::string> ReadMessages(const Options& options) {
    std::vector<std::string> bodies;
    for (const std::string& path : options.messagePaths)
        if (!ReadMessageFile(path, bodies.emplace_back()))
            throw UsageError{"cannot read message file " + path};
    if (!options.messagePaths.empty()) return bodies;
    if (options.previewPath.empty()) return {ReadAllStdin()};
    return SplitMessages(ReadAllStdin());
}

void WriteStdout(std::string_view bytes) {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void PrintInfo(StandInHost& host, const std::string& path) {
    std::string out = "module: " + path + "\n";
    for (std::uint32_t id = 30010; id <= 30017; ++id) {
        const std::intptr_t answer = host.Call(id);
        const bool isText = IsTextAnswer(id);
        out += std::to_string(id) + ": ";
        if (isText && answer) {
            out += '"';
            out += reinterpret_cast<const char*>(answer);
            out += '"';
        } else {
            out += std::to_string(answer);
        }
        out += "\n";
    }
    WriteStdout(out);
}

int Run(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    std::string error;
    const auto module = LoadedModule::Load(options.modulePath, error);
    if (!module) throw UsageError{error};
    StandInHost host(module->Entry());
    if (options.trace) host.SetTrace([](const std::string& line) { std::cerr << line << '\n'; });

    if (options.info) {
        host.Call(20001, reinterpret_cast<HostWord>(host.Control()));
        PrintInfo(host, module->Path());
        WriteStdout(DescribeModuleResources(module->Path()));
        host.Stop();
        return 0;
    }

    host.Start();
    for (const auto& [key, value] : options.settings)
        if (!host.SetValue(key, value)) throw UsageError{"unknown settings key '" + key + "'"};
    if (!options.settings.empty()) host.Call(22100);  // the settings changed

    if (options.page || !options.toggles.empty()) {
        std::string out;
        for (const std::string& target : options.toggles) {
            const auto number = FindItemNumber(host, target, error);
            if (!number) throw UsageError{error};
            out += OperateItem(host, *number);
        }
        if (options.page) out += DrawSettingsPage(host);
        host.Stop();
        WriteStdout(out);
        return 0;
    }

    const std::vector<std::string> bodies = ReadMessages(options);
    for (const std::string& body : bodies)
        if (body.find('\0') != std::string::npos)
            throw UsageError{"the message body holds a NUL byte; a chat message cannot carry one"};
    if (options.previewPath.empty() && bodies.size() == 1) {
        // The common case: write the plug-in's text straight from its result.
        std::string_view result;
        host.SendMessage(bodies.front(), options.copy, result);
        WriteStdout(result);
        host.Stop();
        return 0;
    }
    std::vector<std::string> results;
    for (const std::string& body : bodies) {
        std::string_view result;
        host.SendMessage(body, options.copy, result);
        results.emplace_back(result);  // a long conversation outlives the plug-in's ring
    }
    host.Stop();
    if (!options.previewPath.empty() &&
        !WritePreviewFile(options.previewPath,
                          BuildPreviewPage(results, CurrentClockTime(), host.Columns())))
        throw UsageError{"cannot write preview " + options.previewPath};
    WriteStdout(JoinMessages(results));
    return 0;
}

}  // namespace
}  // namespace lumarix::tools

int main(int argc, char** argv) {
    lumarix::tools::UseHugePagesForLargeBlocks(argv);
    try {
        return lumarix::tools::Run(argc, argv);
    } catch (const lumarix::tools::UsageError& e) {
        std::cerr << "lumarix-host: " << e.message << '\n';
        return lumarix::tools::kUsageError;
    } catch (const std::exception& e) {
        std::cerr << "lumarix-host: " << e.what() << '\n';
        return lumarix::tools::kUsageError;
    }
}
