// Whole rewrites through the module's entry point (call 20100), loaded at run
// time as the messenger loads it.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "bench/corpus.h"
#include "bench/plugin.h"

namespace {

using lumarix::tools::StandInHost;

lumarix::bench::Plugin& SharedPlugin() {
    static lumarix::bench::Plugin plugin = lumarix::bench::StartPlugin();
    return plugin;
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

void RewriteBody(benchmark::State& state, const std::string& body) {
    StandInHost& host = *SharedPlugin().host;
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
void BM_RewriteOneBlock(benchmark::State& state) {
    const std::string source =
        lumarix::bench::PascalCorpus(static_cast<std::size_t>(state.range(0)));
    RewriteBody(state, MakeBody(source, 1));
}
BENCHMARK(BM_RewriteOneBlock)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Arg(8 << 20)
    ->Unit(benchmark::kMillisecond);

// 1 MB of source cut into 1 to 100,000 blocks: the cost per byte should stay flat.
void BM_RewriteManyBlocks(benchmark::State& state) {
    static const std::string source = lumarix::bench::PascalCorpus(1 << 20);
    RewriteBody(state, MakeBody(source, static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_RewriteManyBlocks)
    ->Arg(1)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
