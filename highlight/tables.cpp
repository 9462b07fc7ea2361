#include "highlight/tables.h"

namespace lumarix {
namespace {

constexpr char FoldAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c | 0x20) : c; }

constexpr std::uint32_t HashWord(std::string_view folded) noexcept {
    std::uint32_t h = 2166136261u;
    for (char c : folded) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

constexpr std::size_t kMinKeyWord = 2;
constexpr std::size_t kMaxKeyWord = 14;
constexpr std::size_t kSlots = 256;  // a power of two, well above the entry count
constexpr std::uint8_t kEmpty = 0xFF;

constexpr bool IsLowerWord(std::string_view w) {
    for (char c : w)
        if (c < 'a' || c > 'z') return false;
    return w.size() >= kMinKeyWord && w.size() <= kMaxKeyWord;
}

// Open-addressing table of key word indices, built at compile time.
constexpr std::array<std::uint8_t, kSlots> MakeKeyWordSlots() {
    std::array<std::uint8_t, kSlots> slots{};
    for (auto& s : slots) s = kEmpty;
    for (std::size_t k = 0; k < KeyWordTable.size(); ++k) {
        std::size_t s = HashWord(KeyWordTable[k]) & (kSlots - 1);
        bool present = false;
        while (slots[s] != kEmpty) {
            present = present || KeyWordTable[slots[s]] == KeyWordTable[k];
            s = (s + 1) & (kSlots - 1);
        }
        if (!present) slots[s] = static_cast<std::uint8_t>(k);
    }
    return slots;
}

constexpr bool AllKeyWordsLowerCase() {
    for (std::string_view w : KeyWordTable)
        if (!IsLowerWord(w)) return false;
    return true;
}
static_assert(AllKeyWordsLowerCase(), "the key word lookup folds to lower case letters only");

constexpr auto keyWordSlots = MakeKeyWordSlots();

}  // namespace

bool IsKeyWord(std::string_view word) noexcept {
    if (word.size() < kMinKeyWord || word.size() > kMaxKeyWord) return false;
    // Every entry is lower-case letters, so any other byte after folding rules
    // the word out at once.
    char folded[kMaxKeyWord];
    for (std::size_t k = 0; k < word.size(); ++k) {
        const char c = FoldAscii(word[k]);
        if (c < 'a' || c > 'z') return false;
        folded[k] = c;
    }
    const std::string_view key(folded, word.size());
    for (std::size_t s = HashWord(key) & (kSlots - 1); keyWordSlots[s] != kEmpty;
         s = (s + 1) & (kSlots - 1)) {
        if (KeyWordTable[keyWordSlots[s]] == key) return true;
    }
    return false;
}

bool IsOperatorAt(std::string_view text, std::size_t pos) noexcept {
    return pos < text.size() && HasClass(text[pos], kOperatorStart);
}

bool IsTextAt(std::string_view text, std::size_t pos, std::string_view literal) noexcept {
    if (pos > text.size() || text.size() - pos < literal.size()) return false;
    for (std::size_t k = 0; k < literal.size(); ++k)
        if (FoldAscii(text[pos + k]) != FoldAscii(literal[k])) return false;
    return true;
}

}  // namespace lumarix
