// Whole rewrites through the module's entry point (call 20100), loaded at run
// time as the messenger loads it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "bench/plugin.h"

namespace {

using lumarix::tools::StandInHost;

// The module builds to measure: LUMARIX_BENCH_MODULES names module files
// separated by ':' (an A/B run: every benchmark once per module, side by side
// in one process), else the one built beside this program.
std::vector<std::string> ModulePaths() {
    const char* list = std::getenv("LUMARIX_BENCH_MODULES");
    std::vector<std::string> paths;
    std::stringstream in(list ? list : LUMARIX_MODULE_PATH);
    for (std::string path; std::getline(in, path, ':');)
        if (!path.empty()) paths.push_back(path);
    return paths;
}

StandInHost& HostOf(const std::string& path) {
    static std::map<std::string, lumarix::bench::Plugin> plugins;
    auto found = plugins.find(path);
    if (found == plugins.end())
        found = plugins.emplace(path, lumarix::bench::StartPlugin(path)).first;
    return *found->second.host;
}

// Cuts `source` into `blocks` blocks of about equal size (marker-free pieces).
std::string MakeBody(const std::string& source, std::size_t blocks) {
    std::string body;
    body.reserve(source.size() + blocks * 40);
    const std::size_t piece = source.size() / blocks;
    for (std::size_t k = 0; k < blocks; ++k) {
        body += "text ";
        body += "[delphi]";
        body.append(source, k * piece, k + 1 == blocks ? std::string::npos : piece);
        body += "[/delphi]";
    }
    return body;
}

void RewriteBody(benchmark::State& state, StandInHost& host, const std::string& body) {
    lumarix::ChatMessage message{};
    message.size = sizeof message;
    // The ring of twenty results builds each new one in its spare, which holds
    // the storage a dropped result gave up: after this many rewrites the
    // results are built in memory already touched, as in a messenger that has
    // been running.
    for (int k = 0; k < 21; ++k) {
        message.body = body.c_str();
        host.Call(lumarix::kCallMessage, reinterpret_cast<lumarix::HostWord>(&message));
    }
    for (auto _ : state) {
        message.body = body.c_str();
        message.flags = 0;
        host.Call(lumarix::kCallMessage, reinterpret_cast<lumarix::HostWord>(&message));
        benchmark::DoNotOptimize(message.body);
    }
    const std::size_t outBytes = std::char_traits<char>::length(message.body);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
    state.counters["out/in"] = static_cast<double>(outBytes) / static_cast<double>(body.size());
}

// One block of real source, 64 KB to 8 MB.
void RewriteOneBlock(benchmark::State& state, const std::string& module) {
    const std::string source =
        lumarix::bench::PascalCorpus(static_cast<std::size_t>(state.range(0)));
    RewriteBody(state, HostOf(module), MakeBody(source, 1));
}

// 1 MB of source cut into 1 to 100,000 blocks: the cost per byte should stay flat.
void RewriteManyBlocks(benchmark::State& state, const std::string& module) {
    static const std::string source = lumarix::bench::PascalCorpus(1 << 20);
    RewriteBody(state, HostOf(module), MakeBody(source, static_cast<std::size_t>(state.range(0))));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> modules = ModulePaths();
    for (const std::string& module : modules) {
        // Named after the module only when there are several to tell apart.
        const std::string suffix = modules.size() > 1 ? "/" + module : "";
        benchmark::RegisterBenchmark(("BM_RewriteOneBlock" + suffix).c_str(), RewriteOneBlock,
                                     module)
            ->Arg(64 << 10)
            ->Arg(1 << 20)
            ->Arg(8 << 20)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_RewriteManyBlocks" + suffix).c_str(), RewriteManyBlocks,
                                     module)
            ->Arg(1)
            ->Arg(100)
            ->Arg(10000)
            ->Arg(100000)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
