#pragma once

#include <cstdint>
#include <string_view>

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
    // A blocked request answered with a neutral resource instead: its name
    // ("noop.js") and the rule that chose it.
    std::string_view resource;
    RuleRef redirectRule;
    // A request that passes, without the query parameters a $removeparam
    // takes off: the address it goes to instead, and the first rule that
    // took one. Valid until this thread's next decision.
    std::string_view cleanedUrl;
    RuleRef cleanRule;
};

}  // namespace quillow::filter
