// Real Pascal source for the benchmarks: Free Pascal's own sources,
// concatenated in a fixed order up to the size asked for.
#pragma once

#include <cstddef>
#include <string>

namespace lumarix::bench {

// `size` bytes of Pascal source with no NUL bytes, repeating the corpus if the
// installed sources are smaller. Throws when the sources are not installed.
std::string PascalCorpus(std::size_t size);

}  // namespace lumarix::bench
