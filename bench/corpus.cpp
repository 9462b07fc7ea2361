#include "bench/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace lumarix::bench {

std::string PascalCorpus(std::size_t size) {
    // The RTL and the compiler: plain, everyday Pascal.
    std::vector<std::string> files;
    for (const char* dir : {"/usr/share/fpcsrc/3.2.2/rtl", "/usr/share/fpcsrc/3.2.2/compiler"}) {
        if (!std::filesystem::exists(dir)) continue;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
            if (e.is_regular_file() &&
                (e.path().extension() == ".pas" || e.path().extension() == ".pp"))
                files.push_back(e.path().string());
    }
    if (files.empty()) throw std::runtime_error("Free Pascal sources missing: install fpc-source");
    std::sort(files.begin(), files.end());
    std::string corpus;
    corpus.reserve(size);
    while (corpus.size() < size) {
        for (const std::string& f : files) {
            std::ifstream in(f, std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
            corpus += text;
            if (corpus.size() >= size) break;
        }
    }
    corpus.resize(size);
    return corpus;
}

}  // namespace lumarix::bench
