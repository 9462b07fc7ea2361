// The reference model shared by the tests and the fuzzers (which build
// without gtest): a literal lexer over linear table searches, the escaper, and
// the drain of the module-wide token queue.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
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

inline constexpr std::string_view kBlockOpen =
    "<font style=\"font-weight: normal;\" face=\"Courier New\">";
inline constexpr std::string_view kBlockClose = "</font>";
inline constexpr std::string_view kOpenMarker = "[delphi]";
inline constexpr std::string_view kCloseMarker = "[/delphi]";

// "&", "<" and ">" as entities, in an attribute value '"' too, and the "[" of
// every marker as "&#91;"; every other byte as it is.
inline std::string EscapeHtml(std::string_view text, bool inAttribute = false) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const std::string_view rest = text.substr(k);
        if (rest[0] == '&')
            out += "&amp;";
        else if (rest[0] == '<')
            out += "&lt;";
        else if (rest[0] == '>')
            out += "&gt;";
        else if (rest[0] == '"' && inAttribute)
            out += "&quot;";
        else if (rest.starts_with(kOpenMarker) || rest.starts_with(kCloseMarker))
            out += "&#91;";
        else
            out += rest[0];
    }
    return out;
}

// How one category looks: its colour text and its three switches.
struct Style {
    std::string color;
    bool bold = false, italic = false, underline = false;
};
// By token kind: Operator, KeyWord, String, Comment, Number.
using Styles = std::array<Style, 5>;

// The settings page's defaults.
inline const Styles kDefaultStyles = {{
    {"#840000", true},         // Operators: bold
    {"#000000", true},         // Key words: bold
    {"#0000FF"},               // Strings
    {"#000080", false, true},  // Comments: italic
    {"#FF0000"},               // Numbers
}};

// Settings as the host stores them: column number to text.
using Settings = std::map<std::uint32_t, std::string>;

// Per token kind: its colour column, and the first of its bold, italic and
// underline columns (switch columns run 1000031 + 3 x group + switch, the
// groups Strings 0, Operators 1, Numbers 2, Comments 3, Key words 4).
struct KindColumns {
    std::uint32_t color;
    std::uint32_t firstSwitch;
};
inline constexpr std::array<KindColumns, 5> kKindColumns = {{
    {1000024, 1000034},  // Operator
    {1000022, 1000043},  // KeyWord
    {1000025, 1000031},  // String
    {1000021, 1000040},  // Comment
    {1000023, 1000037},  // Number
}};

// What the host holds for the twenty columns before anything is changed.
inline Settings SettingsOf(const Styles& styles) {
    Settings settings;
    for (std::size_t kind = 0; kind < kKindColumns.size(); ++kind) {
        const Style& s = styles[kind];
        const KindColumns& c = kKindColumns[kind];
        settings[c.color] = s.color;
        settings[c.firstSwitch] = s.bold ? "1" : "0";
        settings[c.firstSwitch + 1] = s.italic ? "1" : "0";
        settings[c.firstSwitch + 2] = s.underline ? "1" : "0";
    }
    return settings;
}

// The styles that settings give: a switch is on only for the text "1"; an
// absent column reads as the empty text.
inline Styles StylesOf(const Settings& settings) {
    const auto text = [&](std::uint32_t column) {
        const auto found = settings.find(column);
        return found == settings.end() ? std::string() : found->second;
    };
    Styles styles;
    for (std::size_t kind = 0; kind < kKindColumns.size(); ++kind) {
        const KindColumns& c = kKindColumns[kind];
        styles[kind] = {text(c.color), text(c.firstSwitch) == "1", text(c.firstSwitch + 1) == "1",
                        text(c.firstSwitch + 2) == "1"};
    }
    return styles;
}

// Opening and closing sequences by token kind.
struct KindTags {
    std::array<std::string, kTokenKindCount> open;
    std::array<std::string, kTokenKindCount> close;
};

// The colour tag (its value escaped), then italic, bold and underline; closed
// in reverse order.
// Plain tokens get none.
inline KindTags TagsOf(const Styles& styles) {
    KindTags tags;
    for (std::size_t kind = 0; kind < styles.size(); ++kind) {
        const Style& s = styles[kind];
        tags.open[kind] = "<font color=\"" + EscapeHtml(s.color, true) + "\">";
        tags.open[kind] += s.italic ? "<i>" : "";
        tags.open[kind] += s.bold ? "<b>" : "";
        tags.open[kind] += s.underline ? "<u>" : "";
        tags.close[kind] += s.underline ? "</u>" : "";
        tags.close[kind] += s.bold ? "</b>" : "";
        tags.close[kind] += s.italic ? "</i>" : "";
        tags.close[kind] += "</font>";
    }
    return tags;
}

// One token of a category as written: escaped text inside its tags.
inline std::string Tagged(const Style& style, std::string_view text) {
    const KindTags tags = TagsOf({style});
    return tags.open[0] + EscapeHtml(text) + tags.close[0];
}

// One block's HTML, token by token from the reference lexer.
inline std::string RenderBlock(std::string_view block, const KindTags& tags) {
    std::string html(kBlockOpen);
    for (const LexedToken& token : ReferenceLexer(block).Run()) {
        const auto kind = static_cast<std::size_t>(token.kind);
        html += tags.open[kind] + EscapeHtml(token.text) + tags.close[kind];
    }
    return html + std::string(kBlockClose);
}

// One block as the marker search finds it: the text in front of it (since
// the previous block) and its inner source.
struct Block {
    std::string_view before;
    std::string_view inner;
};

struct Layout {
    std::vector<Block> blocks;
    std::string_view tail;  // after the last block's closing marker
};

// Each opening marker is searched for after the previous block, and its
// closing marker after it, so HTML once written is never searched again.
inline Layout FindBlocks(std::string_view body) {
    Layout layout;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = body.find(kOpenMarker, pos);
        if (open == std::string_view::npos) break;
        const std::size_t inner = open + kOpenMarker.size();
        const std::size_t close = body.find(kCloseMarker, inner);
        if (close == std::string_view::npos) break;
        layout.blocks.push_back({body.substr(pos, open - pos), body.substr(inner, close - inner)});
        pos = close + kCloseMarker.size();
    }
    layout.tail = body.substr(pos);
    return layout;
}

// The whole rewritten body: every block rendered, the text around it as it was.
inline std::string RenderBody(std::string_view body, const KindTags& tags) {
    const Layout layout = FindBlocks(body);
    std::string out;
    for (const Block& block : layout.blocks) {
        out += block.before;
        out += RenderBlock(block.inner, tags);
    }
    return out += layout.tail;
}

// Whether a body holds both markers, in any order: only such a body is
// rewritten (and takes a place among the results).
inline bool HoldsBothMarkers(std::string_view body) {
    return body.find(kOpenMarker) != std::string_view::npos &&
           body.find(kCloseMarker) != std::string_view::npos;
}

// The worked example with the default settings, and the body it becomes,
// written out by hand.
inline constexpr const char* kWorkedExample = "x [delphi]begin y:=1; end[/delphi] z";
inline constexpr const char* kWorkedExampleHtml =
    "x <font style=\"font-weight: normal;\" face=\"Courier New\">"
    "<font color=\"#000000\"><b>begin</b></font><font color=\"#840000\"><b> </b></font>y"
    "<font color=\"#840000\"><b>:=</b></font><font color=\"#FF0000\">1</font>"
    "<font color=\"#840000\"><b>; </b></font><font color=\"#000000\"><b>end</b></font></font> z";

}  // namespace lumarix::reference
