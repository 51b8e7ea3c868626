#pragma once

#include <cstdint>

namespace quillow::filter {

// A rule by where it is written: its list (in the order the lists were
// given) and its line there, from 1. Its text is looked up only when it
// is shown.
struct RuleRef {
    static constexpr std::uint32_t kNoList = 0xffffffffu;
    std::uint32_t list = kNoList;
    std::uint32_t line = 0;
    bool found() const { return list != kNoList; }
};

// What decided a request.
struct Verdict {
    bool blocked = false;
    // The blocking rule that matched: the one that blocked, or the one an
    // exception overrode. An important rule that beat an exception.
    RuleRef rule;
    // The exception that let the request pass, or that an important rule
    // overrode.
    RuleRef exception;
    // The decision took longer than any list may make it take: the request
    // was let pass.
    bool overBudget = false;
};

}  // namespace quillow::filter
