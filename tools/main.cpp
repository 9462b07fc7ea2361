// lumarix-host: the stand-in messenger. Loads the plug-in module, drives the
// host's call protocol, and passes one chat message body from standard input
// through the plug-in to standard output.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "host/protocol.h"
#include "tools/module_info.h"
#include "tools/module_loader.h"
#include "tools/page_view.h"
#include "tools/preview.h"
#include "tools/stand_in_host.h"

namespace lumarix::tools {
namespace {

constexpr int kUsageError = 2;

struct Setting {
    std::string key;
    std::string value;
    std::string origin;  // "FILE:LINE: " for a line of a settings file, else empty
};

struct Options {
    std::vector<Setting> settings;  // in the order given
    bool copy = false;
    bool trace = false;
    bool info = false;
    bool page = false;                 // print the settings page, read no message
    std::vector<std::string> toggles;  // page items to operate, in the order given
    std::string modulePath;
    std::string previewPath;                // chat-window page to write, when given
    std::string time;                       // the preview's time stamp; empty: the clock's
    std::vector<std::string> messagePaths;  // one message body per file, in the order given
    std::string encoding;                   // of the chat text: "utf-8", "cp1250" or unset
};

// What the user asked for cannot be done; main prints it and exits with kUsageError.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The kinds of run an option belongs to; options of kinds that exclude each
// other would be silently ignored, so they are refused.
enum Group : unsigned { kInfoRun = 1, kPageRun = 2, kMessageRun = 4, kSettingsGiven = 8 };

struct OptionRule {
    std::string_view name;
    std::string_view value;  // what its value is called; empty: it takes none
    std::string_view help;
    unsigned group;
    unsigned excludes;
    void (*apply)(Options&, std::string&&);
};

std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "KEY=VALUE", spaces around the key ignored; the value is taken as it is.
Setting SplitSetting(std::string_view text, std::string origin) {
    const std::size_t eq = text.find('=');
    const std::string_view key = TrimSpaces(text.substr(0, eq));
    if (eq == std::string_view::npos || key.empty())
        throw UsageError{origin + "expected KEY=VALUE, got '" + std::string(text) + "'"};
    return {std::string(key), std::string(text.substr(eq + 1)), std::move(origin)};
}

// One KEY=VALUE a line; blank lines and # comment lines are skipped. A UTF-8
// byte-order mark and CRLF line ends, as Windows editors save, are allowed.
void ReadSettingsFile(const std::string& path, Options& options) {
    std::string text;
    if (!ReadMessageFile(path, text)) throw UsageError{"cannot read settings file " + path};
    std::string_view rest = text;
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = TrimSpaces(line);
        if (line.empty() || line.front() == '#') continue;
        Setting& setting = options.settings.emplace_back(
            SplitSetting(line, path + ":" + std::to_string(number) + ": "));
        setting.value = TrimSpaces(setting.value);  // spaces around "=" are layout
    }
}

void SetEncoding(Options& options, std::string&& name) {
    if (name != "utf-8" && name != "cp1250")
        throw UsageError{"--encoding takes utf-8 or cp1250, not '" + name + "'"};
    options.encoding = std::move(name);
}

constexpr OptionRule kOptionRules[] = {
    {"--set", "KEY=VALUE", "give a setting a new value (repeatable)", kSettingsGiven, kInfoRun,
     [](Options& o, std::string&& v) { o.settings.push_back(SplitSetting(v, "")); }},
    {"--settings", "FILE", "read settings from FILE: KEY=VALUE lines, # comments", kSettingsGiven,
     kInfoRun, [](Options& o, std::string&& v) { ReadSettingsFile(v, o); }},
    {"--copy", "", "ask for a rewritten copy (flag 0x2) and print the copy", kMessageRun,
     kInfoRun | kPageRun, [](Options& o, std::string&&) { o.copy = true; }},
    {"--message", "FILE", "send the body held in FILE (repeatable: a conversation)", kMessageRun,
     kInfoRun | kPageRun, [](Options& o, std::string&& v) { o.messagePaths.push_back(v); }},
    {"--encoding", "NAME", "chat text in utf-8 (converted to code page 1250) or cp1250 (as is)",
     kMessageRun, kInfoRun | kPageRun, SetEncoding},
    {"--preview", "FILE.html", "also write the messages as a chat window page (UTF-8 detected)",
     kMessageRun, kInfoRun | kPageRun,
     [](Options& o, std::string&& v) { o.previewPath = std::move(v); }},
    {"--time", "HH:MM", "stamp the preview's messages with this time, not the clock's", kMessageRun,
     kInfoRun | kPageRun, [](Options& o, std::string&& v) { o.time = std::move(v); }},
    {"--page", "", "print the plug-in's settings page instead of sending a message", kPageRun,
     kInfoRun | kMessageRun, [](Options& o, std::string&&) { o.page = true; }},
    {"--toggle", "NAME", "operate a page item by caption or number (repeatable)", kPageRun,
     kInfoRun | kMessageRun, [](Options& o, std::string&& v) { o.toggles.push_back(v); }},
    {"--info", "", "print the module's identity answers, version and icon", kInfoRun,
     kPageRun | kMessageRun | kSettingsGiven, [](Options& o, std::string&&) { o.info = true; }},
    {"--trace", "", "print every call between host and plug-in on standard error", 0, 0,
     [](Options& o, std::string&&) { o.trace = true; }},
    {"--module", "PATH", "load this build of the module instead of the one beside the host", 0, 0,
     [](Options& o, std::string&& v) { o.modulePath = std::move(v); }},
};

std::string BuildUsage() {
    std::string out =
        "usage: lumarix-host [OPTION]...\n"
        "Passes the chat message on standard input through the plug-in and prints the result.\n";
    for (const OptionRule& rule : kOptionRules) {
        std::string head = "  ";
        head += rule.name;
        if (!rule.value.empty()) head.append(" ").append(rule.value);
        head.resize(std::max<std::size_t>(head.size() + 1, 24), ' ');
        out += head + std::string(rule.help) + "\n";
    }
    return out + "  -h, --help            print this text\n";
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    std::array<std::string_view, 4> firstOfGroup{};  // the first option seen of each Group bit
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        const auto rule = std::find_if(std::begin(kOptionRules), std::end(kOptionRules),
                                       [&](const OptionRule& s) { return s.name == arg; });
        if (rule == std::end(kOptionRules))
            throw UsageError{"unknown argument '" + std::string(arg) +
                             "'; lumarix-host --help lists the options"};
        for (std::size_t g = 0; g < firstOfGroup.size(); ++g) {
            if ((rule->excludes >> g & 1) && !firstOfGroup[g].empty())
                throw UsageError{std::string(firstOfGroup[g]) + " cannot be combined with " +
                                 std::string(arg)};
            if ((rule->group >> g & 1) && firstOfGroup[g].empty()) firstOfGroup[g] = rule->name;
        }
        std::string value;
        if (!rule->value.empty()) {
            if (k + 1 >= argc || argv[k + 1][0] == '\0')
                throw UsageError{std::string(arg) + " needs " + std::string(rule->value)};
            value = argv[++k];
            // Values called FILE... or PATH name files, for which a directory cannot stand; a
            // path that cannot be examined fails where it is used.
            const bool namesFile = rule->value.starts_with("FILE") || rule->value == "PATH";
            std::error_code unknown;
            if (namesFile && std::filesystem::is_directory(value, unknown))
                throw UsageError{std::string(arg) + " needs " + std::string(rule->value) + "; " +
                                 value + " is a directory"};
        }
        rule->apply(options, std::move(value));
    }
    if (options.modulePath.empty()) options.modulePath = DefaultModulePath(argv[0]);
    return options;
}

// Edits between two keys, letters compared without case.
std::size_t CountEdits(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0]++;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replace = diagonal + (fold(a[i - 1]) != fold(b[j - 1]));
            diagonal = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, replace});
        }
    }
    return row.back();
}

void ApplySetting(StandInHost& host, const Setting& setting) {
    if (host.SetValue(setting.key, setting.value)) return;
    std::string message = setting.origin + "unknown settings key '" + setting.key + "'";
    const StoredColumn* nearest = nullptr;
    std::size_t fewest = setting.key.size() / 3 + 1;  // more edits than that: no likeness
    for (const StoredColumn& column : host.Columns())
        if (const std::size_t edits = CountEdits(setting.key, column.key); edits < fewest) {
            fewest = edits;
            nearest = &column;
        }
    if (nearest) message += "; did you mean '" + nearest->key + "'?";
    throw UsageError{message};
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

// The messenger's chat text is in code page 1250; text typed on Linux is UTF-8.
// With --preview, text that reads as UTF-8 is taken as such.
void ConvertToHostCodePage(const Options& options, std::string& body) {
    if (options.encoding == "cp1250" || (options.encoding.empty() && options.previewPath.empty()))
        return;
    if (auto converted = Utf8ToCp1250(body))
        body = std::move(*converted);
    else if (options.encoding == "utf-8")
        throw UsageError{"the message is not UTF-8 text that code page 1250 can hold"};
}

// The message bodies, in the host's code page: standard input is one body, or
// with --preview a conversation separated by form feeds; --message: one a file.
std::vector<std::string> ReadMessages(const Options& options) {
    std::vector<std::string> bodies;
    for (const std::string& path : options.messagePaths)
        if (!ReadMessageFile(path, bodies.emplace_back()))
            throw UsageError{"cannot read message file " + path};
    if (options.messagePaths.empty() && !options.previewPath.empty())
        bodies = SplitMessages(ReadAllStdin());
    else if (options.messagePaths.empty())
        bodies.push_back(ReadAllStdin());  // moved in: a braced list would copy it
    for (std::string& body : bodies) ConvertToHostCodePage(options, body);
    for (const std::string& body : bodies)
        if (body.find('\0') != std::string::npos)
            throw UsageError{"the message body holds a NUL byte; a chat message cannot carry one"};
    return bodies;
}

void WriteStdout(std::string_view bytes) {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// --info: the module's identity answers, with a control held as the messenger holds it.
void ShowInfo(StandInHost& host, const std::string& modulePath) {
    host.Call(kCallHoldControl, reinterpret_cast<HostWord>(host.Control()));
    std::string out = "module: " + modulePath + "\n";
    for (std::uint32_t id = kCallPluginNumber; id <= kCallReserved17; ++id) {
        const std::intptr_t answer = host.Call(id);
        out += std::to_string(id) + ": ";
        if (IsTextAnswer(id) && answer)
            out.append("\"").append(reinterpret_cast<const char*>(answer)).append("\"\n");
        else
            out += std::to_string(answer) + "\n";
    }
    WriteStdout(out + DescribeModuleResources(modulePath));
    host.Stop();
}

// --toggle and --page: operates the items in the order given, then draws the page.
void ShowPage(StandInHost& host, const Options& options) {
    std::string out;
    for (const std::string& target : options.toggles) {
        std::string error;
        const auto number = FindItemNumber(host, target, error);
        if (!number) throw UsageError{error};
        out += OperateItem(host, *number);
    }
    if (options.page) out += DrawSettingsPage(host);
    host.Stop();
    WriteStdout(out);
}

// Sends the messages in turn and writes what the user would see of each as
// it comes back, so that no result is held but where the plug-in (or, for a
// copy, this host) put it; with --preview, also writes the chat window page.
void SendMessages(StandInHost& host, const Options& options) {
    const std::vector<std::string> bodies = ReadMessages(options);
    std::optional<PreviewFile> preview;
    if (!options.previewPath.empty())
        preview.emplace(options.previewPath,
                        options.time.empty() ? CurrentClockTime() : options.time);
    if (preview && !preview->IsOpen())
        throw UsageError{"cannot write preview " + options.previewPath};
    for (std::size_t k = 0; k < bodies.size(); ++k) {
        std::string_view result;
        host.SendMessage(bodies[k], options.copy, result);
        if (k > 0) WriteStdout({&kMessageSeparator, 1});
        WriteStdout(result);
        if (preview) preview->AddMessage(result);
        host.ClearForwarded();
    }
    host.Stop();
    if (preview && !preview->Finish(host))
        throw UsageError{"cannot write preview " + options.previewPath};
}

int Run(int argc, char** argv) {
    if (std::any_of(argv + 1, argv + argc,
                    [](std::string_view arg) { return arg == "-h" || arg == "--help"; })) {
        WriteStdout(BuildUsage());
        return 0;
    }
    const Options options = ParseOptions(argc, argv);
    std::string error;
    const auto module = LoadedModule::Load(options.modulePath, error);
    if (!module) throw UsageError{error};
    StandInHost host(module->Entry());
    if (options.trace) host.SetTrace([](const std::string& line) { std::cerr << line << '\n'; });
    if (options.info) {
        ShowInfo(host, options.modulePath);
        return 0;
    }
    host.Start();
    for (const Setting& setting : options.settings) ApplySetting(host, setting);
    if (!options.settings.empty()) host.Call(kCallSettingsChanged);
    if (options.page || !options.toggles.empty())
        ShowPage(host, options);
    else
        SendMessages(host, options);
    return 0;
}

}  // namespace
}  // namespace lumarix::tools

int main(int argc, char** argv) {
    try {
        return lumarix::tools::Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "lumarix-host: " << e.what() << '\n';
        return lumarix::tools::kUsageError;
    }
}
