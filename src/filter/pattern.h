#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillow::filter {

// How much work one request's decision may take, in characters looked
// at; a hostile list cannot make one request cost more.
struct MatchBudget {
    std::int64_t left = 0;
    bool spent() const { return left < 0; }
    void charge(std::size_t cost) { left -= static_cast<std::int64_t>(cost); }
};

// The separators '^' stands for: anything but a letter, a digit or "_-.%".
constexpr bool isSeparator(unsigned char c) {
    return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             c == '_' || c == '-' || c == '.' || c == '%' || c >= 0x80);
}

constexpr std::size_t kAnywhere = std::size_t(-1);

// What looking at one place a text may stand costs the budget.
constexpr std::size_t kPlaceCost = 12;

// Where `text` first stands in `u` from `from` on, or null. Each place its
// first character stands is compared (cheaper than memmem's tables for the
// short texts of rules) and charged, so a text that nearly matches
// everywhere spends the budget, not the clock; null once it is spent.
// With `anchor`, the place in `text` of the character looked for first
// (its rarest).
inline const char *findText(std::string_view u, std::size_t from, std::string_view text,
                            MatchBudget &budget, std::size_t anchor = 0) {
    if (from > u.size() || u.size() - from < text.size())
        return nullptr;
    if (text.empty())
        return u.data() + from;
    const std::size_t rest = text.size() - 1;
    // Where the anchor character may stand: from `anchor` into the search
    // to `rest - anchor` before its end.
    const char *p = u.data() + from + anchor;
    const char *const last = u.data() + u.size() - (rest - anchor);
    budget.charge((u.size() - from) / 8 + 1);
    if (budget.spent())
        return nullptr;
    while (p < last) {
        p = static_cast<const char *>(std::memchr(p, text[anchor], std::size_t(last - p)));
        if (!p)
            return nullptr;
        // A call and a compare: some nanoseconds each place.
        budget.charge(kPlaceCost + rest / 8);
        if (budget.spent())
            return nullptr;
        if (std::memcmp(p - anchor, text.data(), text.size()) == 0)
            return p - anchor;
        ++p;
    }
    return nullptr;
}

// Where an address's host lies, for `||` rules.
struct HostSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct PatternAnchors {
    bool left = false;   // `|`: at the start of the address
    bool host = false;   // `||`: at the start of a label of the host
    bool right = false;  // `|` at the end: at the end of the address
};

// Whether an Adblock Plus pattern ('*' and '^', no anchors) matches the
// address `url`: anywhere its anchors allow, or, with `at`, only there.
// False once the budget is spent.
bool patternMatches(std::string_view pattern, PatternAnchors anchors, std::string_view url,
                    HostSpan host, std::size_t at, MatchBudget &budget);

}  // namespace quillow::filter
