// LexBlock on real Pascal source, tokens in the queue included.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "highlight/lexer.h"
#include "highlight/token_queue.h"

namespace {

std::size_t DrainCount() {
    std::size_t count = 0;
    lumarix::tokenQueue.DrainEach([&count](const lumarix::Token&) { ++count; });
    return count;
}

void BM_LexBlock(benchmark::State& state) {
    const std::string source =
        lumarix::bench::PascalCorpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        lumarix::LexBlock(source);
        benchmark::DoNotOptimize(lumarix::tokenQueue.Empty());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
    lumarix::LexBlock(source);
    const auto tokens = static_cast<double>(DrainCount());
    state.counters["tokens"] = tokens;
    state.counters["bytes/token"] = static_cast<double>(source.size()) / tokens;
}
BENCHMARK(BM_LexBlock)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
