// LexBlock on real Pascal source, tokens in the queue included.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "highlight/lexer.h"
#include "highlight/token_queue.h"

namespace {

void BM_LexBlock(benchmark::State& state) {
    const std::string source = lumarix::bench::PascalCorpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        lumarix::LexBlock(source);
        benchmark::DoNotOptimize(lumarix::tokenQueue.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
    lumarix::LexBlock(source);
    state.counters["tokens"] = static_cast<double>(lumarix::tokenQueue.Count());
    state.counters["bytes/token"] =
        static_cast<double>(source.size()) / static_cast<double>(lumarix::tokenQueue.Count());
}
BENCHMARK(BM_LexBlock)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
