// In-process rewrites of prepared message bodies through the module's entry
// point (call 20100), one benchmark per body file, for bench/compare.
//
// usage: compare_rewrite [--benchmark_... flags] [--warmup=N] BODY_FILE...
// Each benchmark is named after its file and counts the body's bytes, so the
// report's bytes_per_second is body bytes rewritten per second. Before its
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

#include "bench/plugin.h"

namespace {

using lumarix::tools::StandInHost;

using lumarix::bench::Plugin;
using lumarix::bench::StartPlugin;

// A body to rewrite and whether it has had its warm-up rewrites.
struct Body {
    std::string text;
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
    host.Call(20100, reinterpret_cast<lumarix::HostWord>(&message));
    return message.body;
}

void RewriteBody(benchmark::State& state, StandInHost& host, Body& body, int warmup) {
    // Benchmarks run one after another with all their repetitions, so no other
    // body undoes this one's warm-up before it has been timed.
    if (!body.warm)
        for (int k = 0; k < warmup; ++k) SendBody(host, body.text);
    body.warm = true;
    const char* out = nullptr;
    for (auto _ : state) {
        out = SendBody(host, body.text);
        benchmark::DoNotOptimize(out);
    }
    // Measured once, outside the timing: the length is the host's business.
    const std::size_t outBytes = std::char_traits<char>::length(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.text.size()));
    state.counters["out/in"] =
        static_cast<double>(outBytes) / static_cast<double>(body.text.size());
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
        static std::deque<Body> bodies;
        for (int k = first; k < argc; ++k) {
            Body& body = bodies.emplace_back(Body{ReadBody(argv[k])});
            const std::string name = std::filesystem::path(argv[k]).filename().string();
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&body, warmup](benchmark::State& state) {
                                             RewriteBody(state, *plugin.host, body, warmup);
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
