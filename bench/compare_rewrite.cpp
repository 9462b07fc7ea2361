// In-process rewrites of prepared message bodies through the module's entry
// point (call 20100), one benchmark per body file, for bench/compare.
//
// usage: compare_rewrite [--benchmark_... flags] [--warmup=N] BODY_FILE|@LIST_FILE...
// Each benchmark is named after its file and counts the body's bytes, so the
// report's bytes_per_second is body bytes rewritten per second. A list file
// names body files, one per line: its benchmark rewrites them in turn, one
// per iteration, so that a small body is not timed on the same text again and
// again (the processor's branch predictors would learn it and flatter it). Before its
// first timing each body is rewritten N times (default 0). The module keeps its
// last twenty results and builds a new one in the storage of the one it drops,
// so after twenty rewrites no fresh memory is touched: the steady state of a
// messenger that has been running.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/plugin.h"

namespace {

using lumarix::tools::StandInHost;

using lumarix::bench::Plugin;
using lumarix::bench::StartPlugin;

// Bodies rewritten in turn and whether they have had their warm-up rewrites.
struct Bodies {
    std::vector<std::string> texts;
    bool warm = false;
};

std::string ReadBody(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string body((std::istreambuf_iterator<char>(in)), {});
    if (body.find('\0') != std::string::npos)
        throw std::runtime_error(path + " holds a NUL byte; a chat message body cannot");
    return body;
}

// One call 20100; returns the body the module answers with, a text in its
// result ring, so the rewritten text is measured, not copied.
const char* SendBody(StandInHost& host, const std::string& body) {
    lumarix::ChatMessage message{};
    message.size = sizeof message;
    message.body = body.c_str();
    host.Call(lumarix::kCallMessage, reinterpret_cast<lumarix::HostWord>(&message));
    return message.body;
}

void RewriteBodies(benchmark::State& state, StandInHost& host, Bodies& bodies, int warmup) {
    // Benchmarks run one after another with all their repetitions, so no other
    // body undoes this one's warm-up before it has been timed.
    const std::vector<std::string>& texts = bodies.texts;
    if (!bodies.warm)
        for (std::size_t k = 0; k < warmup * texts.size(); ++k)
            SendBody(host, texts[k % texts.size()]);
    bodies.warm = true;
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SendBody(host, texts[next]));
        next = next + 1 == texts.size() ? 0 : next + 1;
    }
    std::size_t inBytes = 0;
    for (benchmark::IterationCount k = 0; k < state.iterations(); ++k)
        inBytes += texts[static_cast<std::size_t>(k) % texts.size()].size();
    state.SetBytesProcessed(static_cast<std::int64_t>(inBytes));
    // One more rewrite of each, outside the timing, for the size of the HTML.
    std::size_t allIn = 0;
    std::size_t allOut = 0;
    for (const std::string& text : texts) {
        allIn += text.size();
        allOut += std::char_traits<char>::length(SendBody(host, text));
    }
    state.counters["out/in"] = static_cast<double>(allOut) / static_cast<double>(allIn);
}

// The bodies an argument names: the file itself, or each file a list names.
std::vector<std::string> ReadBodies(const std::string& argument) {
    if (!argument.starts_with('@')) return {ReadBody(argument)};
    std::ifstream list(argument.substr(1));
    if (!list) throw std::runtime_error("cannot read " + argument.substr(1));
    std::vector<std::string> texts;
    for (std::string path; std::getline(list, path);)
        if (!path.empty()) texts.push_back(ReadBody(path));
    if (texts.empty()) throw std::runtime_error(argument.substr(1) + " names no body");
    return texts;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    constexpr std::string_view kWarmupFlag = "--warmup=";
    int first = 1;
    int warmup = 0;
    if (argc > 1 && std::string_view(argv[1]).starts_with(kWarmupFlag)) {
        warmup = std::atoi(argv[1] + kWarmupFlag.size());
        first = 2;
    }
    if (argc <= first) {
        std::fprintf(stderr,
                     "usage: compare_rewrite [--benchmark_... flags] [--warmup=N] BODY_FILE...\n");
        return 2;
    }
    try {
        static Plugin plugin = StartPlugin();
        // The bodies live until the benchmarks have run; a deque keeps them in place.
        static std::deque<Bodies> groups;
        for (int k = first; k < argc; ++k) {
            Bodies& bodies = groups.emplace_back(Bodies{ReadBodies(argv[k])});
            const std::string name =
                std::filesystem::path(std::string_view(argv[k]).substr(argv[k][0] == '@'))
                    .filename()
                    .string();
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&bodies, warmup](benchmark::State& state) {
                                             RewriteBodies(state, *plugin.host, bodies, warmup);
                                         })
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "compare_rewrite: %s\n", e.what());
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
