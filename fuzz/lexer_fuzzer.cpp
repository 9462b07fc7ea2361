// Any bytes as the inner text of one block. The tokens must rebuild the text
// exactly, only Operator tokens may be empty, every kind is one of the six,
// and the token list must equal that of a literal transcription of the
// lexing steps over plain linear table searches. Lexed a few tokens at a time,
// as the formatter lexes large blocks, the block must give the same tokens,
// each window tiling the block up to where the lexer says it stands.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "highlight/lexer.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix::fuzz {
namespace {

struct LexedToken {
    std::string text;
    TokenKind kind;
    bool operator==(const LexedToken&) const = default;
};

std::vector<LexedToken> DrainQueue() {
    std::vector<LexedToken> tokens;
    while (!tokenQueue.Empty()) {
        tokens.push_back({std::string(tokenQueue.Front().text), tokenQueue.Front().kind});
        tokenQueue.PopFront();
    }
    return tokens;
}

// The reference: each step as written, every test a linear table search.
class ReferenceLexer {
  public:
    explicit ReferenceLexer(std::string_view text) : t_(text), n_(text.size()) {}

    std::vector<LexedToken> Run() {
        while (i_ < n_) {
            if (!OperatorAt(i_)) {
                ++i_;
                continue;
            }
            if (i_ > 0) {
                if (w_ < i_) EmitWord(i_);
                while (i_ < n_ && OperatorAt(i_) && !OpenerAt(i_)) ++i_;
                Emit(TokenKind::Operator, i_);
            }
            if (i_ == n_) break;
            std::size_t end = 0;
            TokenKind kind{};
            if (MatchRow(end, kind)) {
                Emit(kind, end);
                i_ = end;
            } else {
                ++i_;
            }
        }
        if (w_ < n_) EmitWord(n_);
        return std::move(tokens_);
    }

  private:
    static char Fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsLetterOrDigit(char c) {
        return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }

    bool TextAt(std::size_t p, std::string_view literal) const {
        if (p > n_ || n_ - p < literal.size()) return false;
        for (std::size_t k = 0; k < literal.size(); ++k)
            if (Fold(t_[p + k]) != Fold(literal[k])) return false;
        return true;
    }

    bool OperatorAt(std::size_t p) const {
        for (std::string_view entry : OperatorTable)
            if (TextAt(p, entry)) return true;
        return false;
    }

    bool OpenerAt(std::size_t p) const {
        const char c = t_[p];
        if (c == '{' || c == '\'') return true;
        return p + 1 < n_ && ((c == '/' && t_[p + 1] == '/') || (c == '(' && t_[p + 1] == '*'));
    }

    static bool KeyWordRef(std::string_view word) {
        for (std::string_view entry : KeyWordTable) {
            if (entry.size() != word.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < word.size() && same; ++k)
                same = Fold(word[k]) == Fold(entry[k]);
            if (same) return true;
        }
        return false;
    }

    std::size_t PastFind(std::string_view closer, std::size_t from) const {
        const std::size_t at = t_.find(closer, from);
        return at == std::string_view::npos ? n_ : at + closer.size();
    }

    // Rows 1 to 6 of the lexing table, in order.
    bool MatchRow(std::size_t& end, TokenKind& kind) const {
        const char c = t_[i_];
        if (c == '\'') {
            end = PastFind("'", i_ + 1), kind = TokenKind::String;
        } else if (c == '{') {
            end = PastFind("}", i_ + 1), kind = TokenKind::Comment;
        } else if (TextAt(i_, "(*")) {
            end = PastFind("*)", i_ + 1), kind = TokenKind::Comment;
        } else if (TextAt(i_, "//")) {
            end = PastFind("\n", i_ + 2), kind = TokenKind::Comment;
        } else if (IsDigit(c)) {
            end = i_ + 1;
            while (end < n_ && !(OperatorAt(end) && t_[end] != '.')) ++end;
            kind = TokenKind::Number;
        } else if (c == '.' && i_ + 1 < n_ && IsDigit(t_[i_ + 1])) {
            end = i_ + 1;
            while (end < n_ && !OperatorAt(end)) ++end;
            kind = TokenKind::Number;
        } else {
            return false;
        }
        return true;
    }

    void Emit(TokenKind kind, std::size_t end) {
        tokens_.push_back({std::string(t_.substr(w_, end - w_)), kind});
        w_ = end;
    }

    void EmitWord(std::size_t end) {
        const std::string_view word = t_.substr(w_, end - w_);
        std::size_t b = 0, e = word.size();
        while (b < e && !IsLetterOrDigit(word[b])) ++b;
        while (e > b && !IsLetterOrDigit(word[e - 1])) --e;
        const bool isKeyWord = b < e && KeyWordRef(word.substr(b, e - b));
        Emit(isKeyWord ? TokenKind::KeyWord : TokenKind::Plain, end);
    }

    std::string_view t_;
    std::size_t n_;
    std::size_t i_ = 0;
    std::size_t w_ = 0;
    std::vector<LexedToken> tokens_;
};

// Lexes `block` in windows of `window` tokens, draining the queue after each.
std::vector<LexedToken> LexInWindows(std::string_view block, std::size_t window, bool borrow) {
    BlockLexer lexer = borrow ? BlockLexer(block, BlockLexer::BorrowText{}) : BlockLexer(block);
    std::vector<LexedToken> tokens;
    std::size_t tiled = 0;
    for (bool more = true; more;) {
        more = lexer.LexMore(window);
        const std::vector<LexedToken> got = DrainQueue();
        // A step of the scan appends up to three tokens.
        Require(got.size() <= window + 2, "a window holds at most two tokens over its count");
        Require(!more || got.size() >= window, "a window short of its count ends the block");
        std::string span;
        for (const LexedToken& token : got) span += token.text;
        Require(lexer.LexedEnd() >= tiled && span == block.substr(tiled, lexer.LexedEnd() - tiled),
                "a window's tokens tile the block up to the lexed end");
        tiled = lexer.LexedEnd();
        tokens.insert(tokens.end(), got.begin(), got.end());
    }
    Require(tiled == block.size(), "the windows cover the block");
    Require(!lexer.LexMore(window) && tokenQueue.Empty(), "a finished lexer appends nothing");
    return tokens;
}

}  // namespace
}  // namespace lumarix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumarix;
    using lumarix::fuzz::Require;
    const std::string_view block(reinterpret_cast<const char*>(data), size);

    // Leftovers of a cut-short block must not survive into the next one.
    tokenQueue.Append(Token{"leftover", TokenKind::Plain});
    LexBlock(block);
    const std::vector<fuzz::LexedToken> tokens = fuzz::DrainQueue();

    std::string rebuilt;
    for (const fuzz::LexedToken& token : tokens) {
        Require(static_cast<std::uint32_t>(token.kind) < kTokenKindCount, "token kind is 0..5");
        Require(!token.text.empty() || token.kind == TokenKind::Operator,
                "only Operator tokens may be empty");
        rebuilt += token.text;
    }
    Require(rebuilt == block, "token texts rebuild the block exactly");
    Require(tokens == fuzz::ReferenceLexer(block).Run(), "tokens equal the literal lexing steps");

    // Window sizes from the block's length, so that each input tries another.
    const std::size_t window = 1 + size % 5;
    Require(fuzz::LexInWindows(block, 1, false) == tokens, "one token at a time: same tokens");
    Require(fuzz::LexInWindows(block, window, true) == tokens, "windows: same tokens");
    return 0;
}
