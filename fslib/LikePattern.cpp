#include "LikePattern.h"

#include <optional>
#include <utility>
#include <vector>

namespace {

struct Token {
    enum class Kind { Literal, One, Digit, Any, Class };
    Kind kind = Kind::Literal;
    char32_t ch = 0;
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool Matches(char32_t c) const {
        switch (kind) {
            case Kind::Literal:
                return c == ch;
            case Kind::One:
                return true;
            case Kind::Digit:
                return c >= U'0' && c <= U'9';
            case Kind::Class: {
                bool in = false;
                for (const auto& [low, high] : ranges)
                    in = in || (c >= low && c <= high);
                return in != negate;
            }
            case Kind::Any:
                break;
        }
        return false;
    }
};

// Parses the list after "[" up to its "]"; pos is left after the "]". Empty when malformed.
std::optional<Token> ParseClass(const std::u32string& p, size_t& pos) {
    Token t;
    t.kind = Token::Kind::Class;
    if (pos < p.size() && p[pos] == U'!') {
        t.negate = true;
        ++pos;
    }
    const size_t begin = pos;
    while (pos < p.size() && p[pos] != U']')
        ++pos;
    if (pos >= p.size())
        return std::nullopt;
    const size_t end = pos++;
    for (size_t i = begin; i < end; ++i) {
        // A "-" between two characters makes a range; at either end of the list it is itself.
        if (i + 2 < end && p[i + 1] == U'-') {
            if (p[i] > p[i + 2])
                return std::nullopt;
            t.ranges.emplace_back(p[i], p[i + 2]);
            i += 2;
        } else {
            t.ranges.emplace_back(p[i], p[i]);
        }
    }
    return t;
}

std::optional<std::vector<Token>> Compile(const std::u32string& p) {
    std::vector<Token> tokens;
    for (size_t pos = 0; pos < p.size();) {
        const char32_t c = p[pos++];
        Token t;
        if (c == U'*') {
            t.kind = Token::Kind::Any;
        } else if (c == U'?') {
            t.kind = Token::Kind::One;
        } else if (c == U'#') {
            t.kind = Token::Kind::Digit;
        } else if (c == U'[' && pos < p.size() && p[pos] == U']') {
            ++pos;  // "[]" matches the empty string
            continue;
        } else if (c == U'[') {
            std::optional<Token> cls = ParseClass(p, pos);
            if (!cls)
                return std::nullopt;
            t = std::move(*cls);
        } else {
            t.ch = c;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace

bool LikeMatch(const QString& text, const QString& pattern) {
    const std::optional<std::vector<Token>> tokens = Compile(pattern.toStdU32String());
    if (!tokens)
        return false;
    const std::u32string s = text.toStdU32String();
    const size_t n = s.size();
    // reach[j]: the tokens so far can match the first j characters.
    std::vector<char> reach(n + 1, 0);
    reach[0] = 1;
    for (const Token& t : *tokens) {
        std::vector<char> next(n + 1, 0);
        if (t.kind == Token::Kind::Any) {
            bool any = false;
            for (size_t j = 0; j <= n; ++j)
                next[j] = any = any || reach[j];
        } else {
            for (size_t j = 0; j < n; ++j)
                next[j + 1] = reach[j] && t.Matches(s[j]);
        }
        reach.swap(next);
    }
    return reach[n] != 0;
}
