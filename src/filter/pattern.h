#pragma once

#include <cstddef>
#include <cstdint>
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
