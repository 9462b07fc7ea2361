// Helpers shared by the fuzz targets: a reader that takes values from the
// front of the fuzz input, and a check that stops the run with a message.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace lumarix::fuzz {

// Every check the fuzzers make goes through here, so a broken invariant is a
// crash that libFuzzer records with its input.
inline void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Reads the fuzz input from the front. Past its end every value reads as 0
// and every text as empty, so any input is a complete, valid program.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    bool Empty() const noexcept { return rest_.empty(); }

    std::uint8_t TakeByte() noexcept {
        if (rest_.empty()) return 0;
        const auto byte = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }

    std::uint32_t TakeU32() noexcept {
        std::uint32_t value = 0;
        for (int k = 0; k < 4; ++k) value |= std::uint32_t{TakeByte()} << (8 * k);
        return value;
    }

    // A text of at most 255 bytes: a length byte, then that many bytes.
    std::string TakeShortText() {
        const std::size_t n = std::min<std::size_t>(TakeByte(), rest_.size());
        std::string text(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return text;
    }

    // The bytes up to the next NUL (which is consumed), or up to the end.
    std::string TakeUntilNul() {
        const std::size_t n = std::min(rest_.find('\0'), rest_.size());
        std::string text(rest_.substr(0, n));
        rest_.remove_prefix(std::min(n + 1, rest_.size()));
        return text;
    }

    std::string TakeRest() {
        std::string text(rest_);
        rest_ = {};
        return text;
    }

  private:
    std::string_view rest_;
};

// Host texts end at their first NUL, so the fuzzers hand the module none inside.
inline std::string WithoutNul(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

}  // namespace lumarix::fuzz
