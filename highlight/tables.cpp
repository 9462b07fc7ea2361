#include "highlight/tables.h"

namespace lumarix {
namespace {

constexpr std::size_t kMinKeyWord = 2;
constexpr std::size_t kMaxKeyWord = 14;

constexpr bool AllKeyWordsLowerCase() {
    return std::ranges::all_of(KeyWordTable, [](std::string_view w) {
        return w.size() >= kMinKeyWord && w.size() <= kMaxKeyWord &&
               std::ranges::all_of(w, [](char c) { return c >= 'a' && c <= 'z'; });
    });
}
static_assert(AllKeyWordsLowerCase(), "the key word lookup folds to lower case letters only");

// Key words by a perfect hash of their length and their first, second and
// last letters (scripts/find_key_word_hash.py found the multipliers): a lookup
// reads one slot and compares one entry at most.
constexpr std::size_t kKeyWordSlotCount = 512;

constexpr std::size_t HashKeyWord(unsigned first, unsigned second, unsigned last,
                                  std::size_t size) noexcept {
    return (first + 18 * second + 26 * last + 19 * size) % kKeyWordSlotCount;
}

// Folds A-Z to a-z and leaves the case-insensitive match of a lower-case
// letter a letter; other bytes only feed the hash.
constexpr unsigned FoldedAt(std::string_view word, std::size_t k) noexcept {
    return static_cast<unsigned char>(word[k]) | 0x20u;
}

constexpr std::size_t SlotOf(std::string_view word) noexcept {
    return HashKeyWord(FoldedAt(word, 0), FoldedAt(word, 1), FoldedAt(word, word.size() - 1),
                       word.size());
}

struct KeyWordSlot {
    std::array<char, kMaxKeyWord> text{};
    std::uint8_t size = 0;  // 0: no key word here
};

struct KeyWordSlots {
    std::array<KeyWordSlot, kKeyWordSlotCount> slots{};
    bool collides = false;  // two different key words hashed to one slot
};

constexpr KeyWordSlots MakeKeyWordSlots() {
    KeyWordSlots table;
    for (std::string_view word : KeyWordTable) {
        KeyWordSlot& slot = table.slots[SlotOf(word)];
        if (slot.size != 0 && std::string_view(slot.text.data(), slot.size) != word)
            table.collides = true;
        for (std::size_t k = 0; k < word.size(); ++k) slot.text[k] = word[k];
        slot.size = static_cast<std::uint8_t>(word.size());
    }
    return table;
}

constexpr KeyWordSlots keyWordSlots = MakeKeyWordSlots();
static_assert(!keyWordSlots.collides, "the key word hash must give every key word its own slot");

}  // namespace

bool IsKeyWord(std::string_view word) noexcept {
    if (word.size() < kMinKeyWord || word.size() > kMaxKeyWord) return false;
    const KeyWordSlot& slot = keyWordSlots.slots[SlotOf(word)];
    if (slot.size != word.size()) return false;
    // Entries are lower-case letters, so OR-ing 0x20 folds exactly A-Z and
    // never turns another byte into a letter.
    for (std::size_t k = 0; k < word.size(); ++k)
        if (FoldedAt(word, k) != static_cast<unsigned char>(slot.text[k])) return false;
    return true;
}

}  // namespace lumarix
