// The reference model shared by the tests and the fuzzers (which build
// without gtest): a literal lexer over linear table searches, the escaper, and
// the drain of the module-wide token queue.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "highlight/lexer.h"
#include "highlight/tables.h"
#include "highlight/token_queue.h"

namespace lumarix::reference {

struct LexedToken {
    std::string text;
    TokenKind kind;
    bool operator==(const LexedToken&) const = default;
};

// Takes every queued token, as the formatter does.
inline std::vector<LexedToken> DrainQueue() {
    std::vector<LexedToken> tokens;
    tokenQueue.DrainEach([&](const Token& t) { tokens.push_back({std::string(t.text), t.kind}); });
    return tokens;
}

inline std::vector<LexedToken> Lex(std::string_view block) {
    LexBlock(block);
    return DrainQueue();
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

// "&", "<" and ">" as entities, every other byte as it is.
inline std::string EscapeHtml(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

inline constexpr std::string_view kBlockOpen =
    "<font style=\"font-weight: normal;\" face=\"Courier New\">";

// Opening and closing sequences by token kind.
struct KindTags {
    std::array<std::string, kTokenKindCount> open;
    std::array<std::string, kTokenKindCount> close;
};

// One block's HTML, token by token from the reference lexer.
inline std::string RenderBlock(std::string_view block, const KindTags& tags) {
    std::string html(kBlockOpen);
    for (const LexedToken& token : ReferenceLexer(block).Run()) {
        const auto kind = static_cast<std::size_t>(token.kind);
        html += tags.open[kind] + EscapeHtml(token.text) + tags.close[kind];
    }
    return html + "</font>";
}

}  // namespace lumarix::reference
