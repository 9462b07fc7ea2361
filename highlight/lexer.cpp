// One left-to-right pass. Operator bytes (space and line feed among them)
// form runs; words between them become key words or plain words; strings,
// comments and numbers are recognised only where an operator run ends (or at
// the very first byte of the block).
#include "highlight/lexer.h"

#include <cstring>

#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix {
namespace {

class BlockLexer {
  public:
    explicit BlockLexer(std::string_view text) : text_(text), n_(text.size()) {}

    void Run() {
        while (i_ < n_) {
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
    }

  private:
    bool IsOperatorByte(std::size_t p) const noexcept { return HasClass(text_[p], kOperatorStart); }

    bool IsDigit(std::size_t p) const noexcept { return HasClass(text_[p], kDigit); }

    bool IsOpenerAt(std::size_t p) const noexcept {
        const char c = text_[p];
        if (!HasClass(c, kOpenerStart)) return false;
        if (c == '{' || c == '\'') return true;
        return p + 1 < n_ && text_[p + 1] == (c == '/' ? '/' : '*');
    }

    // Appends bytes w_ .. end-1 with the given kind and moves w_ to end.
    void Emit(TokenKind kind, std::size_t end) {
        tokenQueue.Append(Token{std::string_view(text_.data() + w_, end - w_), kind});
        w_ = end;
    }

    void EmitPendingWord(std::size_t end) {
        if (w_ >= end) return;
        const std::string_view word(text_.data() + w_, end - w_);
        Emit(IsKeyWord(CoreOf(word)) ? TokenKind::KeyWord : TokenKind::Plain, end);
    }

    // The word without the bytes before its first and after its last letter or digit.
    static std::string_view CoreOf(std::string_view word) noexcept {
        std::size_t b = 0, e = word.size();
        while (b < e && !HasClass(word[b], kLetterOrDigit)) ++b;
        while (e > b && !HasClass(word[e - 1], kLetterOrDigit)) --e;
        return word.substr(b, e - b);
    }

    // One past the first occurrence of `closer` at or after `from`; the end of
    // the text when there is none.
    std::size_t PastNext(std::string_view closer, std::size_t from) const noexcept {
        const std::size_t at = text_.find(closer, from);
        return at == std::string_view::npos ? n_ : at + closer.size();
    }

    std::size_t PastNextByte(char closer, std::size_t from) const noexcept {
        if (from >= n_) return n_;
        const void* at = std::memchr(text_.data() + from, closer, n_ - from);
        return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text_.data()) + 1 : n_;
    }

    // A number runs until an operator byte; `stopAtDot` says whether "." ends it.
    std::size_t EndOfNumber(std::size_t from, bool stopAtDot) const noexcept {
        std::size_t p = from;
        while (p < n_ && !(IsOperatorByte(p) && (stopAtDot || text_[p] != '.'))) ++p;
        return p;
    }

    bool NextIs(char c) const noexcept { return i_ + 1 < n_ && text_[i_ + 1] == c; }

    // Strings, comments and numbers at i_ (where w_ == i_). Each shape has its
    // own first byte, so the order in which they are tried does not matter.
    bool ReadDelimitedToken() {
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
                if (!(i_ + 1 < n_ && IsDigit(i_ + 1))) return false;
                end = EndOfNumber(i_ + 1, true), kind = TokenKind::Number;
                break;
            default:
                if (!IsDigit(i_)) return false;
                end = EndOfNumber(i_ + 1, false), kind = TokenKind::Number;
                break;
        }
        Emit(kind, end);
        i_ = end;
        return true;
    }

    std::string_view text_;
    std::size_t n_;
    std::size_t i_ = 0;  // the byte being examined
    std::size_t w_ = 0;  // the first byte not yet in a token
};

}  // namespace

void LexBlock(std::string_view blockText) {
    tokenQueue.StartBlock(blockText);
    BlockLexer(tokenQueue.BlockText()).Run();
}

}  // namespace lumarix
