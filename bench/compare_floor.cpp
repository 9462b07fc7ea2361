// The floor for bench/compare: the least work a rewriter that wraps every byte
// of its input in markup can do. Copies standard input to standard output with
// a fixed 8-byte tag before each byte, building the whole result in memory as
// the module does.
//
// usage: compare_floor [WARM_PASSES]
// Prints on standard error the seconds the first expansion took (into fresh
// memory) and, when WARM_PASSES > 0, the median seconds of that many further
// expansions into the same, already touched, buffer. The whole process is
// timed from outside.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kTag = "<i>x</i>";
static_assert(kTag.size() == 8);

std::string ReadAllStdin() {
    std::string input;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) input.append(buffer, n);
    return input;
}

// Straight stores, one tag and one byte at a time: as close to the memory
// bandwidth as a byte-at-a-time rewriter gets.
void ExpandWithTags(std::string_view input, char* out) {
    for (const char c : input) {
        std::memcpy(out, kTag.data(), kTag.size());
        out[kTag.size()] = c;
        out += kTag.size() + 1;
    }
}

template <typename Work>
double SecondsOf(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int warmPasses = argc > 1 ? std::atoi(argv[1]) : 0;
    const std::string input = ReadAllStdin();
    const std::size_t size = input.size() * (kTag.size() + 1);
    // A plain buffer, so it is not zero-filled (touched) before the expansion.
    std::unique_ptr<char[]> out;
    const double cold = SecondsOf([&] {
        out = std::make_unique_for_overwrite<char[]>(size);
        ExpandWithTags(input, out.get());
    });
    std::vector<double> warm;
    for (int k = 0; k < warmPasses; ++k)
        warm.push_back(SecondsOf([&] { ExpandWithTags(input, out.get()); }));
    std::fwrite(out.get(), 1, size, stdout);
    std::fflush(stdout);
    if (warm.empty())
        std::fprintf(stderr, "%.9f\n", cold);
    else
        std::fprintf(stderr, "%.9f %.9f\n", cold, Median(warm));
    return 0;
}
