#pragma once

#include <cstdint>
#include <vector>

#include "filter/flat_array.h"
#include "filter/request_kind.h"
#include "filter/rule_table.h"

namespace quillow::filter {

// The engine's compiled network rules, as the index and the cache keep
// them: flat, with their texts in one pool.

enum RuleFlag : std::uint8_t {
    kAnchorLeft = 1,
    kAnchorHost = 2,
    kAnchorRight = 4,
    kMatchCase = 8,
    kRegex = 16,
    kEntityDomains = 32,    // domain= names a "name.*"
    kPositiveDomains = 64,  // domain= names a site the rule is for
    kWordAnchored = 128,    // the rule's word stands at wordOffset of its pattern
};

struct CompiledRule {
    std::uint32_t pattern = 0;  // in the pool: the pattern, or the regular expression
    std::uint32_t domains = 0;  // in the domain names
    std::uint32_t line = 0;
    std::uint32_t regex = 0;  // a regular expression's place among them
    std::uint16_t patternLength = 0;
    std::uint16_t domainCount = 0;
    std::uint16_t wordOffset = 0;
    std::uint16_t list = 0;
    std::uint16_t kinds = 0;
    std::uint8_t party = kAnyParty;
    std::uint8_t flags = 0;
};

// What a regular expression's rule keeps beside it: the text every match
// holds, in the pool, looked for before the expression runs.
struct RegexRule {
    std::uint32_t requiredText = 0;
    std::uint32_t requiredLength = 0;
};

struct DomainName {
    std::uint64_t hash = 0;  // of the name as hostHash() makes it; sorted within a rule
    std::uint32_t negated = 0;
    std::uint32_t entity = 0;
};

// One kind of rule (blocking, exception, important), by where a request
// finds it.
struct RuleIndex {
    RuleTable words;  // by the request's host or a word of its address
    RuleTable pages;  // by a site the rule names in domain=, for rules with no word
    FlatArray<std::uint32_t> unindexed;
};

constexpr std::uint32_t kNoRule = 0xffffffffu;

}  // namespace quillow::filter
