#include "highlight/tables.h"

namespace lumarix {
namespace {

constexpr char FoldAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? char(c | 0x20) : c;
}

constexpr std::size_t kMinKeyWord = 2;
constexpr std::size_t kMaxKeyWord = 14;

constexpr bool IsLowerWord(std::string_view w) {
    for (char c : w)
        if (c < 'a' || c > 'z') return false;
    return w.size() >= kMinKeyWord && w.size() <= kMaxKeyWord;
}

constexpr bool AllKeyWordsLowerCase() {
    for (std::string_view w : KeyWordTable)
        if (!IsLowerWord(w)) return false;
    return true;
}
static_assert(AllKeyWordsLowerCase(), "the key word lookup folds to lower case letters only");

// The key words grouped by length and first letter, each group a run in
// kKeyWordOrder; a lookup compares the few words of one group.
struct KeyWordGroup {
    std::uint8_t first = 0;
    std::uint8_t count = 0;
};

struct KeyWordIndex {
    std::array<std::array<KeyWordGroup, 26>, kMaxKeyWord + 1> groups{};
    std::array<std::uint8_t, KeyWordTable.size()> order{};
};

constexpr KeyWordIndex MakeKeyWordIndex() {
    KeyWordIndex index;
    std::size_t next = 0;
    for (std::size_t length = kMinKeyWord; length <= kMaxKeyWord; ++length) {
        for (int letter = 0; letter < 26; ++letter) {
            KeyWordGroup& group = index.groups[length][letter];
            group.first = static_cast<std::uint8_t>(next);
            for (std::size_t k = 0; k < KeyWordTable.size(); ++k) {
                const std::string_view w = KeyWordTable[k];
                if (w.size() == length && w[0] == 'a' + letter) {
                    index.order[next++] = static_cast<std::uint8_t>(k);
                    ++group.count;
                }
            }
        }
    }
    return index;
}

constexpr KeyWordIndex keyWordIndex = MakeKeyWordIndex();

}  // namespace

bool IsKeyWord(std::string_view word) noexcept {
    if (word.size() < kMinKeyWord || word.size() > kMaxKeyWord) return false;
    const char first = FoldAscii(word[0]);
    if (first < 'a' || first > 'z') return false;
    const KeyWordGroup group = keyWordIndex.groups[word.size()][first - 'a'];
    for (std::size_t g = group.first; g < group.first + group.count; ++g) {
        const std::string_view entry = KeyWordTable[keyWordIndex.order[g]];
        std::size_t k = 1;
        // Entries are lower-case letters, so OR-ing 0x20 folds exactly A-Z
        // and never turns another byte into a letter.
        while (k < entry.size() && (word[k] | 0x20) == entry[k]) ++k;
        if (k == entry.size()) return true;
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
