#include "filter/word_choice.h"

#include <algorithm>
#include <cstring>

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

std::string regexRequiredText(std::string_view re) {
    std::string best;
    std::string run;
    int depth = 0;
    // Every address holds a piece of "https://": worth nothing to look for.
    const auto worth = [](const std::string &text) {
        return std::string_view("https://").find(text) == std::string_view::npos ? text.size() : 0;
    };
    auto endRun = [&] {
        if ((best.empty() && !run.empty()) || worth(run) > worth(best))
            best = run;
        run.clear();
    };
    for (std::size_t i = 0; i < re.size(); ++i) {
        const char c = re[i];
        char literal = c;
        if (c == '\\' && i + 1 < re.size()) {
            ++i;
            literal = escapedCharacter(re, i);
            if (!literal) {
                endRun();
                continue;
            }
        } else if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : -1;
            endRun();
            continue;
        } else if (c == '|') {
            if (depth == 0)
                return {};
            continue;
        } else if (c == '[') {
            endRun();
            while (i < re.size() && re[i] != ']') {
                if (re[i] == '\\')
                    ++i;
                ++i;
            }
            continue;
        } else if (std::strchr(".^$+?*{}", c)) {
            // What a repetition may leave out is not sure.
            if ((c == '?' || c == '*' || c == '{') && !run.empty())
                run.pop_back();
            endRun();
            if (c == '{')
                while (i < re.size() && re[i] != '}')
                    ++i;
            continue;
        }
        if (depth == 0)
            run += asciiLower(literal);
    }
    endRun();
    return best;
}

}  // namespace quillow::filter
