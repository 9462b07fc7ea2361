#include "tests/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lumarix::testing {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

namespace {

std::string TempPath(const char* tag) {
    static int counter = 0;
    return (std::filesystem::temp_directory_path() /
            ("lumarix-test-" + std::to_string(getpid()) + "-" + tag + std::to_string(counter++)))
        .string();
}

}  // namespace

ProcessResult RunHost(const std::vector<std::string>& args, const std::string& input) {
    const std::string in = TempPath("in"), out = TempPath("out"), err = TempPath("err");
    {
        std::ofstream f(in, std::ios::binary);
        f << input;
    }
    // Started directly, not through a shell, so that its resource use is its own.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words = {LUMARIX_HOST_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ProcessResult result;
    pid_t pid = 0;
    int status = 0;
    struct rusage usage {};
    if (posix_spawn(&pid, LUMARIX_HOST_PATH, &files, nullptr, argv.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid) {
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakResidentBytes = static_cast<std::size_t>(usage.ru_maxrss) * 1024;
    }
    posix_spawn_file_actions_destroy(&files);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    for (const std::string& p : {in, out, err}) std::filesystem::remove(p);
    return result;
}

std::vector<std::string> PascalSourceFiles(std::size_t limit) {
    std::vector<std::string> files;
    const std::filesystem::path root = "/usr/share/fpcsrc";
    if (!std::filesystem::exists(root)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && (ext == ".pas" || ext == ".pp" || ext == ".inc"))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    if (files.size() > limit) {
        // An even spread over the tree rather than the first directory only.
        std::vector<std::string> spread;
        for (std::size_t k = 0; k < limit; ++k) spread.push_back(files[k * files.size() / limit]);
        files = std::move(spread);
    }
    return files;
}

std::string StripTagsAndUnescape(const std::string& html) {
    std::string out;
    out.reserve(html.size());
    for (std::size_t k = 0; k < html.size();) {
        if (html[k] == '<') {
            const std::size_t end = html.find('>', k);
            k = end == std::string::npos ? html.size() : end + 1;
        } else if (html.compare(k, 5, "&amp;") == 0) {
            out += '&', k += 5;
        } else if (html.compare(k, 4, "&lt;") == 0) {
            out += '<', k += 4;
        } else if (html.compare(k, 4, "&gt;") == 0) {
            out += '>', k += 4;
        } else if (html.compare(k, 5, "&#91;") == 0) {
            out += '[', k += 5;
        } else {
            out += html[k++];
        }
    }
    return out;
}

void PluginTest::SetUp() {
    std::string error;
    module_ = tools::LoadedModule::Load(LUMARIX_MODULE_PATH, error);
    ASSERT_TRUE(module_) << error;
    host_ = std::make_unique<tools::StandInHost>(module_->Entry());
}

void PluginTest::TearDown() {
    if (host_) host_->Call(20002);
}

void PluginTest::HoldControl() {
    ASSERT_EQ(host_->Call(20001, reinterpret_cast<HostWord>(host_->Control())), 1);
}

}  // namespace lumarix::testing
