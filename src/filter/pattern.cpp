#include "filter/pattern.h"

#include <algorithm>
#include <cstring>

namespace quillow::filter {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// Matches a piece of pattern without '*' at `pos`; '^' also matches the end.
bool segmentAt(std::string_view seg, std::string_view u, std::size_t pos, std::size_t &end,
               MatchBudget &budget) {
    budget.charge(seg.size() + 1);
    std::size_t i = pos;
    for (const char c : seg) {
        if (c == '^') {
            if (i == u.size())
                continue;
            if (!isSeparator(static_cast<unsigned char>(u[i])))
                return false;
            ++i;
        } else {
            if (i >= u.size() || u[i] != c)
                return false;
            ++i;
        }
    }
    end = i;
    return true;
}

// A segment of separators only: the leftmost run of `count` of them, or
// the separators that end the address, however few (the end matches too).
std::size_t searchSeparators(std::size_t count, std::string_view u, std::size_t pos,
                             std::size_t &end, MatchBudget &budget) {
    budget.charge(u.size() - pos + 1);
    std::size_t run = 0;
    for (std::size_t i = pos; i < u.size(); ++i) {
        run = isSeparator(static_cast<unsigned char>(u[i])) ? run + 1 : 0;
        if (run == count) {
            end = i + 1;
            return i + 1 - count;
        }
    }
    end = u.size();
    return u.size() - run;
}

// The leftmost place at or after `pos` where `seg` matches. A segment's
// leading separators are found behind its first text, not by trying each
// place: a run of '^' costs one pass.
std::size_t searchSegment(std::string_view seg, std::string_view u, std::size_t pos,
                          std::size_t &end, MatchBudget &budget) {
    if (seg.empty()) {
        end = pos;
        return pos;
    }
    const std::size_t lead = std::min(seg.find_first_not_of('^'), seg.size());
    if (lead == seg.size())
        return searchSeparators(lead, u, pos, end, budget);
    const std::string_view rest = seg.substr(lead);
    const std::string_view text = rest.substr(0, std::min(rest.find('^'), rest.size()));
    std::size_t scanned = pos;
    std::size_t run = 0;  // separators just before `scanned`, from `pos` on
    for (std::size_t from = pos + lead; from + text.size() <= u.size() && !budget.spent();) {
        const char *hit = findText(u, from, text, budget);
        if (!hit)
            return kNotFound;
        const std::size_t q = static_cast<std::size_t>(hit - u.data());
        budget.charge(q - scanned);
        for (; scanned < q; ++scanned)
            run = isSeparator(static_cast<unsigned char>(u[scanned])) ? run + 1 : 0;
        if (run >= lead && segmentAt(rest, u, q, end, budget))
            return q - lead;
        from = q + 1;
    }
    return kNotFound;
}

// The last segment of a pattern anchored at the address's end.
bool segmentEndsAt(std::string_view seg, std::string_view u, std::size_t pos, MatchBudget &budget) {
    const std::size_t from = u.size() >= seg.size() ? u.size() - seg.size() : 0;
    std::size_t end = 0;
    for (std::size_t q = std::max(pos, from); q <= u.size() && !budget.spent(); ++q)
        if (segmentAt(seg, u, q, end, budget) && end == u.size())
            return true;
    return false;
}

// Adblock Plus patterns: pieces between '*' found leftmost in turn, which
// is exact for wildcards that match anything.
bool globMatch(std::string_view p, std::string_view u, std::size_t pos, bool anchoredStart,
               bool anchoredEnd, MatchBudget &budget) {
    for (bool first = true;; first = false) {
        const std::size_t star = p.find('*');
        const bool last = star == std::string_view::npos;
        const std::string_view seg = last ? p : p.substr(0, star);
        std::size_t end = 0;
        if (budget.spent())
            return false;
        if (first && anchoredStart) {
            if (!segmentAt(seg, u, pos, end, budget) || (last && anchoredEnd && end != u.size()))
                return false;
        } else if (last && anchoredEnd) {
            return segmentEndsAt(seg, u, pos, budget);
        } else if (searchSegment(seg, u, pos, end, budget) == kNotFound) {
            return false;
        }
        if (last)
            return true;
        pos = end;
        p.remove_prefix(star + 1);
    }
}

}  // namespace

bool patternMatches(std::string_view p, PatternAnchors anchors, std::string_view u, HostSpan host,
                    std::size_t at, MatchBudget &budget) {
    // `||` starts at the host's first character or after one of its dots.
    auto labelStart = [&](std::size_t s) {
        return s >= host.begin && s < host.end && (s == host.begin || u[s - 1] == '.');
    };
    if (at != kAnywhere) {
        if ((anchors.left && at != 0) || (anchors.host && !labelStart(at)))
            return false;
        return globMatch(p, u, at, true, anchors.right, budget);
    }
    if (anchors.host) {
        for (std::size_t s = host.begin; s < host.end; ++s)
            if (labelStart(s) && globMatch(p, u, s, true, anchors.right, budget))
                return true;
        return false;
    }
    return globMatch(p, u, 0, anchors.left, anchors.right, budget);
}

}  // namespace quillow::filter
