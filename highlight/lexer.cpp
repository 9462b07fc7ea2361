// One left-to-right pass. Operator bytes (space and line feed among them)
// form runs; words between them become key words or plain words; strings,
// comments and numbers are recognised only where an operator run ends (or at
// the very first byte of the block).
#include "highlight/lexer.h"

#include <cstdint>
#include <cstring>

#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix {

BlockLexer::BlockLexer(std::string_view blockText) noexcept
    : text_(blockText), n_(blockText.size()) {
    tokenQueue.Clear();
}

inline bool BlockLexer::IsOperatorByte(std::size_t p) const noexcept {
    return HasClass(text_[p], kOperatorStart);
}

inline bool BlockLexer::IsOpenerAt(std::size_t p) const noexcept {
    const char c = text_[p];
    if (!HasClass(c, kOpenerStart)) return false;
    if (c == '{' || c == '\'') return true;
    return p + 1 < n_ && text_[p + 1] == (c == '/' ? '/' : '*');
}

// Appends bytes w_ .. end-1 with the given kind and moves w_ to end.
inline void BlockLexer::Emit(TokenKind kind, std::size_t end) {
    tokenQueue.Append(Token{std::string_view(text_.data() + w_, end - w_), kind});
    w_ = end;
    ++emitted_;
}

inline void BlockLexer::EmitPendingWord(std::size_t end) {
    if (w_ >= end) return;
    const std::string_view word(text_.data() + w_, end - w_);
    Emit(IsKeyWord(CoreOf(word)) ? TokenKind::KeyWord : TokenKind::Plain, end);
}

// The word without the bytes before its first and after its last letter or digit.
inline std::string_view BlockLexer::CoreOf(std::string_view word) noexcept {
    std::size_t b = 0, e = word.size();
    while (b < e && !HasClass(word[b], kLetterOrDigit)) ++b;
    while (e > b && !HasClass(word[e - 1], kLetterOrDigit)) --e;
    return word.substr(b, e - b);
}

// One past the first occurrence of `closer` at or after `from`; the end of
// the text when there is none.
inline std::size_t BlockLexer::PastNext(std::string_view closer, std::size_t from) const noexcept {
    const std::size_t at = text_.find(closer, from);
    return at == std::string_view::npos ? n_ : at + closer.size();
}

inline std::size_t BlockLexer::PastNextByte(char closer, std::size_t from) const noexcept {
    if (from >= n_) return n_;
    const void* at = std::memchr(text_.data() + from, closer, n_ - from);
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text_.data()) + 1 : n_;
}

// A number runs until an operator byte; `stopAtDot` says whether "." ends it.
inline std::size_t BlockLexer::EndOfNumber(std::size_t from, bool stopAtDot) const noexcept {
    std::size_t p = from;
    while (p < n_ && !(IsOperatorByte(p) && (stopAtDot || text_[p] != '.'))) ++p;
    return p;
}

inline bool BlockLexer::NextIs(char c) const noexcept {
    return i_ + 1 < n_ && text_[i_ + 1] == c;
}

// Strings, comments and numbers at i_ (where w_ == i_). Each shape has its
// own first byte, so the order in which they are tried does not matter.
inline bool BlockLexer::ReadDelimitedToken() {
    std::size_t end;
    TokenKind kind;
    switch (text_[i_]) {
        case '\'':
            end = PastNextByte('\'', i_ + 1), kind = TokenKind::String;
            break;
        case '{':
            end = PastNextByte('}', i_ + 1), kind = TokenKind::Comment;
            break;
        case '(':
            if (!NextIs('*')) return false;
            // The opener's "*" may close it too: "(*)" is a whole comment.
            end = PastNext("*)", i_ + 1), kind = TokenKind::Comment;
            break;
        case '/':
            if (!NextIs('/')) return false;
            end = PastNextByte('\n', i_ + 2), kind = TokenKind::Comment;
            break;
        case '.':
            if (!(i_ + 1 < n_ && HasClass(text_[i_ + 1], kDigit))) return false;
            end = EndOfNumber(i_ + 1, true), kind = TokenKind::Number;
            break;
        default:
            if (!HasClass(text_[i_], kDigit)) return false;
            end = EndOfNumber(i_ + 1, false), kind = TokenKind::Number;
            break;
    }
    Emit(kind, end);
    i_ = end;
    return true;
}

bool BlockLexer::LexMore(std::size_t count) {
    // Scanning a local copy lets the compiler keep the positions in registers:
    // nothing else can see them while tokens are appended.
    BlockLexer scan = *this;
    const bool more = scan.Scan(count);
    *this = scan;
    return more;
}

inline bool BlockLexer::Scan(std::size_t count) {
    if (done_) return false;
    const std::size_t target = count > SIZE_MAX - emitted_ ? SIZE_MAX : emitted_ + count;
    // Every pass of the loop ends between two steps, where the scan can stop
    // and later go on as if it had not.
    while (i_ < n_) {
        if (emitted_ >= target) return true;
        if (!IsOperatorByte(i_)) {
            // The bytes up to the next operator join the pending word.
            do ++i_;
            while (i_ < n_ && !IsOperatorByte(i_));
            continue;
        }
        // An operator byte at the very start is not split off: it either
        // opens something below or becomes part of the first word.
        if (i_ > 0) {
            EmitPendingWord(i_);
            while (i_ < n_ && IsOperatorByte(i_) && !IsOpenerAt(i_)) ++i_;
            Emit(TokenKind::Operator, i_);  // empty when an opener follows at once
        }
        if (i_ == n_) break;
        if (!ReadDelimitedToken()) ++i_;
    }
    EmitPendingWord(n_);
    done_ = true;
    return false;
}

void LexBlock(std::string_view blockText) {
    BlockLexer(blockText).LexMore(SIZE_MAX);
}

}  // namespace lumarix
