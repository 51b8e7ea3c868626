#include "filter/word_choice.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "filter/ascii.h"
#include "filter/rule_parser.h"

namespace quillow::filter {

namespace {

// Words nearly every address holds: a rule filed under one is tried on
// nearly every request.
bool isCommonWord(std::string_view t) {
    static constexpr std::string_view kCommon[] = {
        "http", "https",  "www", "com", "net", "org", "js",  "html", "php",    "static", "cdn",
        "img",  "images", "css", "api", "jpg", "png", "gif", "min",  "assets", "v1",     "id"};
    return std::find(std::begin(kCommon), std::end(kCommon), t) != std::end(kCommon);
}

std::uint64_t wordHash(std::string_view w) {
    return tokenHash(w.data(), w.data() + w.size());
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    const char l = asciiLower(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// The character an escape stands for when it is one ("\.", "\x2d"), or 0.
char escapedCharacter(std::string_view re, std::size_t &i) {
    const char n = re[i];
    const bool letter = (n >= 'a' && n <= 'z') || (n >= 'A' && n <= 'Z') || (n >= '0' && n <= '9');
    if (!letter)
        return n;
    if (n == 'x' && i + 2 < re.size() && hexValue(re[i + 1]) >= 0 && hexValue(re[i + 2]) >= 0) {
        const int value = hexValue(re[i + 1]) * 16 + hexValue(re[i + 2]);
        i += 2;
        return value > 0 && value < 0x80 ? static_cast<char>(value) : 0;
    }
    return 0;  // a class (\d, \w, \b ...) or something this does not read
}

// Where a bracketed class that opens at `open` closes: a ']' first in it
// (after any '^') is one of its characters, and so are escaped ones and
// named classes ("[:alpha:]").
std::size_t classEnd(std::string_view re, std::size_t open) {
    std::size_t i = open + 1;
    if (i < re.size() && re[i] == '^')
        ++i;
    if (i < re.size() && re[i] == ']')
        ++i;
    for (; i < re.size() && re[i] != ']'; ++i) {
        if (re[i] == '\\') {
            ++i;
        } else if (re[i] == '[' && i + 1 < re.size() && re[i + 1] == ':') {
            const std::size_t close = re.find(":]", i + 2);
            if (close != std::string_view::npos)
                i = close + 1;
        }
    }
    return i;
}

// The characters a bracketed class (from its '[' at `open` to its ']' at
// `close`) or a class escape stands for, with the lower case of each
// upper-case letter; false for what this does not read (named classes,
// escapes other than punctuation, "\d" and "\w", characters past ASCII).
using ByteSet = std::uint64_t[4];
void addBytes(ByteSet set, unsigned from, unsigned to) {
    for (unsigned c = from; c <= to; ++c) {
        set[c >> 6] |= 1ull << (c & 63);
        if (c >= 'A' && c <= 'Z')
            set[(c + 32) >> 6] |= 1ull << ((c + 32) & 63);
    }
}
bool classEscape(char e, ByteSet set) {
    if (e == 'd') {
        addBytes(set, '0', '9');
        return true;
    }
    if (e == 'w') {
        addBytes(set, '0', '9');
        addBytes(set, 'a', 'z');
        addBytes(set, 'A', 'Z');
        addBytes(set, '_', '_');
        return true;
    }
    return false;
}
bool classBytes(std::string_view re, std::size_t open, std::size_t close, ByteSet set) {
    std::uint64_t in[4] = {};
    std::size_t i = open + 1;
    const bool negated = i < close && re[i] == '^';
    i += negated;
    // One character of the class, escaped or not; 0 when it is none.
    const auto one = [&](std::size_t &at) -> int {
        if (re[at] == '\\') {
            if (++at >= close)
                return 0;
            const char e = escapedCharacter(re, at);
            ++at;
            return static_cast<unsigned char>(e);
        }
        if (re[at] == '[' && at + 1 < close && re[at + 1] == ':')
            return 0;
        return static_cast<unsigned char>(re[at++]);
    };
    while (i < close) {
        if (re[i] == '\\' && i + 1 < close && classEscape(re[i + 1], in)) {
            i += 2;
            continue;
        }
        const int low = one(i);
        if (low <= 0 || low >= 0x80)
            return false;
        int high = low;
        if (i + 1 < close && re[i] == '-') {
            ++i;
            high = one(i);
            if (high <= 0 || high >= 0x80 || high < low)
                return false;
        }
        addBytes(in, unsigned(low), unsigned(high));
    }
    for (int w = 0; w < 4; ++w)
        set[w] = negated ? ~in[w] : in[w];
    return true;
}

// Where a repetition ("{n}", "{n,}", "{n,m}") that opens at `open` closes;
// 0 when the '{' stands for itself.
std::size_t repetitionEnd(std::string_view re, std::size_t open) {
    std::size_t i = open + 1;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < re.size() && re[i] >= '0' && re[i] <= '9')
            ++i;
        return i > from;
    };
    if (!digits())
        return 0;
    if (i < re.size() && re[i] == ',') {
        ++i;
        digits();
    }
    return i < re.size() && re[i] == '}' ? i : 0;
}

}  // namespace

template <typename F>
void WordUse::forEachWord(const NetworkRule &rule, F &&f) const {
    forEachWholeWord(rule.pattern, rule.anchorLeft || rule.anchorHost, rule.anchorRight,
                     std::forward<F>(f));
}

void WordUse::count(const NetworkRule &rule, std::size_t from) {
    forEachWord(rule, [&](std::string_view w) {
        if (static_cast<std::size_t>(w.data() - rule.pattern.data()) >= from)
            ++use_[wordHash(w)];
    });
}

std::size_t WordUse::scoreOf(std::uint64_t hash, std::string_view word) const {
    const auto it = use_.find(hash);
    return (it == use_.end() ? 0 : it->second) + (isCommonWord(word) ? kCommonWordUse : 0);
}

ChosenWord WordUse::choose(const NetworkRule &rule, std::size_t from) const {
    ChosenWord best;
    std::size_t bestScore = SIZE_MAX;
    std::size_t bestLength = 0;
    forEachWord(rule, [&](std::string_view w) {
        if (static_cast<std::size_t>(w.data() - rule.pattern.data()) < from)
            return;
        const std::uint64_t h = wordHash(w);
        const std::size_t score = scoreOf(h, w);
        if (score < bestScore || (score == bestScore && w.size() > bestLength)) {
            best = {h, static_cast<std::size_t>(w.data() - rule.pattern.data()), score};
            bestScore = score;
            bestLength = w.size();
        }
    });
    return best;
}

ChosenWord WordUse::chooseIn(std::string_view requiredText) const {
    // A word the required text holds whole, with other characters on both
    // sides, is a word of every address the expression matches.
    ChosenWord best;
    std::size_t bestScore = SIZE_MAX;
    forEachWholeWord(requiredText, false, false, [&](std::string_view w) {
        const std::uint64_t h = wordHash(w);
        const std::size_t score = scoreOf(h, w);
        if (score < bestScore) {
            best = {h, static_cast<std::size_t>(w.data() - requiredText.data()), score};
            bestScore = score;
        }
    });
    return best;
}

RegexFacts regexFacts(std::string_view re) {
    RegexFacts facts;
    std::string run;
    int depth = 0;
    // The shortest match, counted at the top level only (a group counts
    // for nothing): `atom` is what the last piece added, which a quantifier
    // after it scales.
    std::size_t shortest = 0;
    std::size_t atom = 0;
    // The class the last piece stood for, at the top level: a repetition
    // right after it makes a run every match holds.
    std::uint64_t lastClass[4] = {};
    bool afterClass = false;
    // Quoted text ("\Q[a]{9}\E") holds no class: none is looked for.
    const bool quotes = re.find("\\Q") != std::string_view::npos;
    const auto add = [&](std::size_t n) {
        if (depth == 0) {
            shortest += n;
            atom = n;
        }
    };
    const auto endRun = [&] {
        if (!run.empty())
            facts.texts.push_back(run);
        run.clear();
    };
    for (std::size_t i = 0; i < re.size(); ++i) {
        const char c = re[i];
        char literal = c;
        const bool classBefore = std::exchange(afterClass, false);
        if (c == '\\' && i + 1 < re.size()) {
            std::fill(lastClass, lastClass + 4, 0);
            afterClass = depth == 0 && classEscape(re[i + 1], lastClass);
            ++i;
            // \b, \B, \A, \z, \Q and \E stand for no character; other
            // classes for one, written "\pL", "\p{Greek}", "\x{263a}" or
            // in octal ("\101") too.
            const char e = re[i];
            const bool empty = std::strchr("bBAzQE", e) != nullptr;
            if ((e == 'p' || e == 'P' || e == 'x') && i + 1 < re.size() && re[i + 1] == '{') {
                i = std::min(re.find('}', i), re.size());
                literal = 0;
            } else if (e == 'p' || e == 'P') {
                i = std::min(i + 1, re.size() - 1);
                literal = 0;
            } else if (e >= '0' && e <= '7') {
                for (int more = 0;
                     more < 2 && i + 1 < re.size() && re[i + 1] >= '0' && re[i + 1] <= '7'; ++more)
                    ++i;
                literal = 0;
            } else {
                literal = escapedCharacter(re, i);
            }
            if (!literal) {
                add(empty ? 0 : 1);
                endRun();
                continue;
            }
        } else if (c == '{' && repetitionEnd(re, i) != 0) {
            // What a repetition may leave out is not sure.
            if (!run.empty())
                run.pop_back();
            endRun();
            const std::size_t close = repetitionEnd(re, i);
            std::size_t least = 0;
            for (++i; re[i] >= '0' && re[i] <= '9'; ++i)
                least = std::min<std::size_t>(least * 10 + std::size_t(re[i] - '0'), 100000);
            if (depth == 0) {
                shortest = shortest - atom + std::min<std::size_t>(atom * least, 1u << 30);
                atom = std::min<std::size_t>(atom * least, 1u << 30);
            }
            if (classBefore && !quotes && least > facts.runLength) {
                facts.runLength = least;
                std::copy(lastClass, lastClass + 4, facts.runClass);
            }
            i = close;
            continue;
        } else if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : -1;
            add(0);
            endRun();
            continue;
        } else if (c == '|') {
            if (depth == 0)
                return {};
            continue;
        } else if (c == '[') {
            add(1);
            endRun();
            const std::size_t close = classEnd(re, i);
            std::fill(lastClass, lastClass + 4, 0);
            afterClass = depth == 0 && close < re.size() && classBytes(re, i, close, lastClass);
            i = close;
            continue;
        } else if (std::strchr(".^$+?*", c)) {
            // What a repetition may leave out is not sure.
            if ((c == '?' || c == '*') && !run.empty())
                run.pop_back();
            endRun();
            if (c == '.')
                add(1);
            else if (c == '^' || c == '$')
                add(0);
            if (depth == 0 && (c == '?' || c == '*')) {
                shortest -= atom;
                atom = 0;
            }
            continue;
        }
        add(1);
        if (depth == 0)
            run += asciiLower(literal);
    }
    endRun();
    facts.shortest = shortest;
    return facts;
}

std::string regexRequiredText(std::string_view re) {
    return mostTelling(regexFacts(re));
}

std::string mostTelling(const RegexFacts &facts) {
    // Every address holds a piece of "https://": worth nothing to look for.
    const auto worth = [](const std::string &text) {
        return std::string_view("https://").find(text) == std::string_view::npos ? text.size() : 0;
    };
    std::string best;
    for (const std::string &text : facts.texts)
        if (best.empty() || worth(text) > worth(best))
            best = text;
    return best;
}

}  // namespace quillow::filter
