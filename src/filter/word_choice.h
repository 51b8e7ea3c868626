#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "filter/host_hash.h"

namespace quillow::filter {

struct NetworkRule;

// Calls f(word) for each word of a pattern that any address it matches
// holds whole: letters and digits with no wildcard against either side.
template <typename F>
void forEachWholeWord(std::string_view p, bool anchoredStart, bool anchoredEnd, F &&f) {
    std::size_t i = 0;
    while (i < p.size()) {
        if (!isTokenChar(static_cast<unsigned char>(p[i]))) {
            ++i;
            continue;
        }
        const std::size_t a = i;
        while (i < p.size() && isTokenChar(static_cast<unsigned char>(p[i])))
            ++i;
        const bool leftWhole = a > 0 ? p[a - 1] != '*' : anchoredStart;
        const bool rightWhole = i < p.size() ? p[i] != '*' : anchoredEnd;
        if (leftWhole && rightWhole)
            f(p.substr(a, i - a));
    }
}

// What a word nearly every address holds ("com", "js") counts as: more
// rules than any list has.
constexpr std::size_t kCommonWordUse = 1000000;

// The word a rule is filed under in the index.
struct ChosenWord {
    std::uint64_t hash = 0;  // 0: the rule has no word to be found by
    std::size_t offset = 0;  // where the word stands in the pattern
    // How many rules hold it; more than any for a word every address has.
    std::size_t use = 0;
};

// How many rules hold each word: a rule goes under its rarest word, so
// that a word of an address finds few rules to try.
class WordUse {
public:
    // Counts the words of a rule that may be filed under a word; with
    // `from`, those that stand there or after.
    void count(const NetworkRule &rule, std::size_t from = 0);
    // The rule's rarest word; with `from`, one that stands there or after.
    ChosenWord choose(const NetworkRule &rule, std::size_t from = 0) const;
    // A regular expression's word: one its required text holds whole.
    ChosenWord chooseIn(std::string_view requiredText) const;

private:
    std::size_t scoreOf(std::uint64_t hash, std::string_view word) const;
    template <typename F>
    void forEachWord(const NetworkRule &rule, F &&f) const;

    std::unordered_map<std::uint64_t, std::uint32_t> use_;
};

// What every match of a regular expression holds: runs of characters,
// lower case, and at least how many characters; none of it when nothing is
// sure (alternation at the top).
struct RegexFacts {
    std::vector<std::string> texts;
    std::size_t shortest = 0;
    // The longest run of one class's characters every match holds
    // ("[0-9a-f]{32}"): the class, a bit for each byte and with the lower
    // case of each upper-case letter in it, and the run's length (0: none
    // known).
    std::uint64_t runClass[4] = {};
    std::size_t runLength = 0;
};
RegexFacts regexFacts(std::string_view re);
// The most telling of those runs.
std::string mostTelling(const RegexFacts &facts);
std::string regexRequiredText(std::string_view re);

}  // namespace quillow::filter
