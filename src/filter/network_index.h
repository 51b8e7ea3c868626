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
    std::uint32_t domains = 0;  // in the domain names: the pages' (domain=)
    std::uint32_t targets = 0;  // in the domain names: the request's hosts (to=, denyallow=)
    std::uint32_t line = 0;
    std::uint32_t regex = 0;     // a regular expression's place among them
    std::uint32_t modifier = 0;  // 1 + its place among the modifiers; 0: none
    std::uint16_t patternLength = 0;
    std::uint16_t domainCount = 0;
    std::uint16_t targetCount = 0;
    std::uint16_t wordOffset = 0;
    std::uint16_t list = 0;
    std::uint16_t kinds = 0;
    std::uint8_t party = kAnyParty;  // and the StrictParty bits
    std::uint8_t flags = 0;
    std::uint8_t methods = 0;  // 0: any
    std::uint8_t lookup = 0;   // RuleLookup
};

// How the index finds a rule, where its flags do not say.
enum RuleLookup : std::uint8_t {
    // Under a host its to= names: the key says nothing of where its
    // pattern stands in the address.
    kByTargetHost = 1,
};

// What a rule does besides blocking: a neutral resource in place of the
// request, or a query parameter taken off it. Its value lies in the pool.
struct ModifierRule {
    enum Action : std::uint8_t { kBlock, kImportant, kAllow };
    enum Form : std::uint8_t {
        kName,       // a parameter's name
        kPairRegex,  // "key=value" against an expression
        kAll,        // every parameter
        kBad,        // one this engine cannot read: applies to nothing
    };
    std::uint32_t value = 0;
    std::uint16_t length = 0;
    std::uint8_t kind = 0;  // Modifier
    std::uint8_t action = kBlock;
    std::int32_t priority = 0;  // a redirect's
    std::uint32_t regex = 0;    // a removeparam expression's place among the expressions
    std::uint16_t token = 0;    // a redirect's resource name: its length within value
    std::uint8_t form = kName;
    std::uint8_t negated = 0;  // "~": every parameter but those
};

// What a regular expression's rule keeps beside it: the text every match
// holds, in the pool, looked for before the expression runs.
struct RegexRule {
    std::uint32_t requiredText = 0;
    std::uint32_t requiredLength = 0;
    // The other texts every match holds, each ended by a '\n', in the
    // pool; and how long any match is at least. Both are tried before the
    // expression runs.
    std::uint32_t otherTexts = 0;
    std::uint32_t otherLength = 0;
    std::uint32_t shortest = 0;
    // Compiled with a larger cache, for its large program.
    std::uint32_t roomy = 0;
    // A run of one class's characters every match holds, at least
    // `runLength` long, looked for before the expression runs (a run of
    // the expression takes microseconds): the class, a bit a byte, with
    // lower case where it has upper. Eight bytes wide: the cache holds
    // no padding.
    std::uint64_t runLength = 0;
    std::uint64_t runClass[4] = {};
};

struct DomainName {
    std::uint64_t hash = 0;  // of the name as hostHash() makes it; sorted within a rule
    std::uint32_t negated = 0;
    std::uint32_t entity = 0;
};

// Text an address must hold, in the pool, with the place of its rarest
// character (searched for first) and up to three of its rarest pairs of
// characters (pairKey()), each looked up in the address's pairs first.
struct Needle {
    std::uint32_t text = 0;
    std::uint16_t length = 0;
    std::uint16_t anchor = 0;
    std::uint16_t pairs[3] = {};
    std::uint16_t pairCount = 0;
};

// One kind of rule (blocking, exception, important), by where a request
// finds it.
struct RuleIndex {
    RuleTable words;     // by the request's host or a word of its address
    RuleTable pages;     // by a site the rule names in domain=
    RuleTable entities;  // by a "name.*" the rule names in domain=
    // The rest, tried on every request of a kind they are for: the rules
    // for kind k are unindexed[unindexedStarts[k], unindexedStarts[k + 1]).
    FlatArray<std::uint32_t> unindexed;
    FlatArray<std::uint32_t> unindexedStarts;
    // Beside each of `unindexed`, made when the index is loaded: text of
    // the pool every address it matches holds (empty: none known), looked
    // for before the rule itself is read.
    std::vector<Needle> needles;

    bool empty() const {
        return words.table.empty() && pages.table.empty() && entities.table.empty() &&
               unindexed.empty();
    }
};

constexpr std::uint32_t kNoRule = 0xffffffffu;

}  // namespace quillow::filter
