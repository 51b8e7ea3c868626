#include "filter/filter_engine.h"

#include <re2/re2.h>

#include <QUrl>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "filter/host_hash.h"
#include "filter/list_reader.h"
#include "filter/pattern.h"
#include "filter/request.h"
#include "filter/rule_parser.h"
#include "filter/word_choice.h"

namespace quillow::filter {

namespace {

// Host keys share the index's table with word keys.
constexpr std::uint64_t kHostSalt = 0x9e3779b97f4a7c15ull;
// What one expression may take to compile and run: a hostile list's
// expressions cannot fill the memory.
constexpr std::int64_t kRegexMemory = 64 << 10;

std::uint64_t hostKey(std::uint64_t hostHashValue) {
    return (hostHashValue ^ kHostSalt) | 1;
}

re2::RE2::Options regexOptions(bool matchCase) {
    re2::RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(matchCase);
    options.set_never_capture(true);
    options.set_max_mem(kRegexMemory);
    return options;
}

// The host a `||host^...` pattern names whole, or empty.
std::string_view anchoredHost(const NetworkRule &rule) {
    if (!rule.anchorHost || rule.regex)
        return {};
    const std::string_view p = rule.pattern;
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_')
            ++i;
        else
            break;
    }
    if (i == 0 || p[i - 1] == '.')
        return {};
    if (i < p.size() && (p[i] == '^' || p[i] == '/' || p[i] == ':'))
        return p.substr(0, i);
    if (i == p.size() && rule.anchorRight)
        return p;
    return {};
}

// A plain `||host^` with no options: finding its host is the match.
bool isBareHostRule(const NetworkRule &r, std::string_view host) {
    return !r.anchorRight && r.domains.empty() && r.party == kAnyParty &&
           r.kinds == kDefaultKinds && r.pattern.size() == host.size() + 1 &&
           r.pattern.back() == '^';
}

// What the index is built from: the three kinds of rule (important,
// blocking, exception), each by key, by the sites of its domain=, or tried
// on every request.
struct IndexEntries {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> words;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pages;
    std::unordered_set<std::uint64_t> bareKeys;
    std::vector<std::uint32_t> unindexed;

    void build(RuleIndex &index) {
        index.words.build(words, bareKeys);
        index.pages.build(pages);
        index.unindexed = std::move(unindexed);
    }
};

}  // namespace

struct FilterEngine::ParsedLists {
    std::vector<NetworkRule> rules;
    std::vector<RuleRef> refs;
    std::vector<CosmeticRule> cosmetics;
    std::unordered_set<std::string> cancelled;  // the forms `badfilter` rules name
    std::size_t regexCount = 0;

    // One rule read from a list: kept, or counted as what kept it out.
    void take(RuleType type, NetworkRule &rule, CosmeticRule &cosmetic, RuleRef ref,
              const FilterLimits &limits, FilterStats &stats) {
        switch (type) {
            case RuleType::None:
                return;
            case RuleType::Unsupported:
                ++stats.unsupported;
                return;
            case RuleType::Invalid:
                ++stats.invalid;
                return;
            case RuleType::Cosmetic:
                if (cosmetics.size() >= limits.maxCosmeticRules ||
                    cosmetic.domains.size() > limits.maxDomainsPerRule)
                    ++stats.overLimit;
                else
                    cosmetics.push_back(std::move(cosmetic));
                return;
            case RuleType::Network:
                break;
        }
        if (rule.badfilter) {
            rule.badfilter = false;
            cancelled.insert(canonicalForm(rule));
            return;
        }
        if (rules.size() >= limits.maxNetworkRules ||
            rule.domains.size() > std::min<std::size_t>(limits.maxDomainsPerRule, 0xffff) ||
            (rule.regex && (++regexCount > limits.maxRegexRules ||
                            rule.pattern.size() > limits.maxRegexLength))) {
            ++stats.overLimit;
            return;
        }
        if (rule.regex && !re2::RE2(rule.pattern, regexOptions(rule.matchCase)).ok()) {
            ++stats.invalid;  // look-around, back-references: not in linear time
            return;
        }
        rules.push_back(std::move(rule));
        refs.push_back(ref);
    }
};

FilterEngine::FilterEngine() = default;
FilterEngine::~FilterEngine() = default;

std::unique_ptr<FilterEngine> FilterEngine::build(const std::vector<std::string_view> &lists,
                                                  PublicSuffixList suffixes,
                                                  const FilterLimits &limits) {
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    engine->suffixes_ = std::move(suffixes);
    ParsedLists parsed;
    NetworkRule rule;
    CosmeticRule cosmetic;
    for (std::size_t list = 0; list < lists.size(); ++list) {
        ListReader reader(lists[list]);
        std::string_view line;
        std::uint32_t number = 0;
        while (reader.next(line, number)) {
            const RuleType type = parseRule(line, rule, cosmetic);
            parsed.take(type, rule, cosmetic, {static_cast<std::uint32_t>(list), number}, limits,
                        engine->stats_);
        }
    }
    engine->compileNetworkRules(parsed);
    engine->stats_.cosmeticRules = parsed.cosmetics.size();
    engine->compileRegexes();
    return engine;
}

// The network rules as they are compiled, before the engine keeps them.
struct FilterEngine::Compiled {
    std::vector<CompiledRule> rules;
    std::vector<RegexRule> regexRules;
    std::vector<DomainName> domains;
    std::string pool;

    std::uint32_t add(const NetworkRule &rule, RuleRef ref);
};

std::uint32_t FilterEngine::Compiled::add(const NetworkRule &r, RuleRef ref) {
    CompiledRule f;
    f.pattern = static_cast<std::uint32_t>(pool.size());
    f.patternLength = static_cast<std::uint16_t>(r.pattern.size());
    pool += r.pattern;
    f.kinds = r.kinds;
    f.party = r.party;
    f.list = static_cast<std::uint16_t>(ref.list);
    f.line = ref.line;
    f.flags = (r.anchorLeft ? kAnchorLeft : 0) | (r.anchorHost ? kAnchorHost : 0) |
              (r.anchorRight ? kAnchorRight : 0) | (r.matchCase ? kMatchCase : 0) |
              (r.regex ? kRegex : 0);
    if (!r.domains.empty()) {
        std::vector<DomainName> names;
        for (const DomainEntry &d : r.domains) {
            DomainName name;
            name.hash = d.hash;
            name.negated = d.negated;
            name.entity = d.entity;
            f.flags |= (name.entity ? kEntityDomains : 0) | (d.negated ? 0 : kPositiveDomains);
            names.push_back(name);
        }
        std::sort(names.begin(), names.end(),
                  [](const DomainName &a, const DomainName &b) { return a.hash < b.hash; });
        f.domains = static_cast<std::uint32_t>(domains.size());
        f.domainCount = static_cast<std::uint16_t>(names.size());
        domains.insert(domains.end(), names.begin(), names.end());
    }
    if (r.regex) {
        const std::string required = regexRequiredText(r.pattern);
        f.regex = static_cast<std::uint32_t>(regexRules.size());
        regexRules.push_back(
            {static_cast<std::uint32_t>(pool.size()), static_cast<std::uint32_t>(required.size())});
        pool += required;
    }
    rules.push_back(f);
    return static_cast<std::uint32_t>(rules.size() - 1);
}

void FilterEngine::compileNetworkRules(ParsedLists &parsed) {
    // Words that many rules hold index poorly: each rule goes under its
    // rarest whole word.
    WordUse wordUse;
    for (const NetworkRule &r : parsed.rules)
        if (!r.regex && anchoredHost(r).empty())
            wordUse.count(r);
    IndexEntries entries[3];  // important, blocking, exceptions
    std::map<std::string, std::uint8_t> switches;
    Compiled compiled;
    for (std::size_t n = 0; n < parsed.rules.size(); ++n) {
        const NetworkRule &r = parsed.rules[n];
        if (!parsed.cancelled.empty() && parsed.cancelled.count(canonicalForm(r)))
            continue;
        const std::string_view host = anchoredHost(r);
        if (r.cosmeticSwitches && !host.empty() && r.pattern.size() <= host.size() + 1)
            switches[std::string(host)] |= r.cosmeticSwitches;
        if (r.kinds == 0)
            continue;
        const std::uint32_t id = compiled.add(r, parsed.refs[n]);
        CompiledRule &f = compiled.rules[id];
        const int which = r.exception ? 2 : (r.important ? 0 : 1);
        std::uint64_t key = 0;
        bool bare = false;
        if (!host.empty()) {
            key = hostKey(hostHash(host));
            bare = isBareHostRule(r, host);
        } else if (r.regex) {
            const RegexRule &re = compiled.regexRules[f.regex];
            key =
                wordUse
                    .chooseIn(
                        std::string_view(compiled.pool).substr(re.requiredText, re.requiredLength))
                    .hash;
        } else if (const ChosenWord word = wordUse.choose(r); word.hash) {
            key = word.hash;
            // With no wildcard before its word, a rule can only match where
            // the address holds that word, a fixed distance after its start.
            if (r.pattern.find('*') >= word.offset) {
                f.flags |= kWordAnchored;
                f.wordOffset = static_cast<std::uint16_t>(word.offset);
            }
        }
        // Important rules are blocking rules too.
        for (const int target : {which, which == 0 ? 1 : -1}) {
            if (target < 0)
                continue;
            IndexEntries &e = entries[target];
            if (key) {
                e.words.emplace_back(key, id);
                if (bare)
                    e.bareKeys.insert(key);
            } else if ((f.flags & kPositiveDomains) && !(f.flags & kEntityDomains)) {
                for (const DomainEntry &d : r.domains)
                    if (!d.negated)
                        e.pages.emplace_back(d.hash, id);
            } else {
                e.unindexed.push_back(id);
            }
        }
    }
    entries[0].build(important_);
    entries[1].build(blocking_);
    entries[2].build(exceptions_);
    rules_ = std::move(compiled.rules);
    regexRules_ = std::move(compiled.regexRules);
    domains_ = std::move(compiled.domains);
    pool_ = std::vector<char>(compiled.pool.begin(), compiled.pool.end());
    stats_.networkRules = rules_.size();
    elementHiding_.build(parsed.cosmetics, switches);
}

void FilterEngine::compileRegexes() {
    regexes_.clear();
    regexes_.resize(regexRules_.size());
    for (const CompiledRule &f : rules_) {
        if (!(f.flags & kRegex))
            continue;
        auto re =
            std::make_unique<re2::RE2>(re2::StringPiece(pool_.data() + f.pattern, f.patternLength),
                                       regexOptions(f.flags & kMatchCase));
        if (re->ok())
            regexes_[f.regex] = std::move(re);
    }
}

Verdict FilterEngine::decide(std::string_view url, std::string_view pageUrl,
                             RequestKind kind) const {
    return decide(prepareRequest(url, pageUrl, kind, &blocking_.words));
}

Verdict FilterEngine::decide(const QUrl &url, const QUrl &page, RequestKind kind) const {
    return decide(prepareRequest(url, page, kind, &blocking_.words));
}

Verdict FilterEngine::decide(Request &r) const {
    Verdict verdict;
    // Important rules are in the blocking index too; they are asked for
    // only when an exception would let the request pass.
    const std::uint32_t blocking = firstMatch(blocking_, r);
    if (blocking != kNoRule) {
        verdict.rule = refOf(blocking);
        const std::uint32_t exception = firstMatch(exceptions_, r);
        if (exception == kNoRule) {
            verdict.blocked = true;
        } else {
            verdict.exception = refOf(exception);
            const std::uint32_t important = firstMatch(important_, r);
            if (important != kNoRule) {
                verdict.rule = refOf(important);
                verdict.blocked = true;
            }
        }
    }
    // A decision that ran out of time is no decision: the request passes.
    if (r.budget.spent()) {
        overBudget_.fetch_add(1, std::memory_order_relaxed);
        verdict.blocked = false;
        verdict.overBudget = true;
    }
    return verdict;
}

std::uint32_t FilterEngine::firstMatch(const RuleIndex &index, Request &r) const {
    // The keys' bits and slots are far apart in memory: ask for all of them
    // first, so their cache misses overlap instead of following each other.
    const bool byPage = !index.pages.table.empty();
    if (byPage)
        preparePageHashes(r);
    std::uint64_t keys[kMaxLabels * 2 + kMaxWords];
    std::size_t count = 0;
    for (std::size_t i = 0; i < r.hostCount; ++i)
        keys[count++] = hostKey(r.hostHashes[i]);
    const std::size_t wordsFrom = count;
    for (std::size_t i = 0; i < r.wordCount; ++i)
        keys[count++] = r.words[i];
    const std::size_t pagesFrom = count;
    if (byPage)
        for (std::size_t i = 0; i < r.pageCount; ++i)
            keys[count++] = r.pageHashes[i];
    for (std::size_t k = 0; k < count; ++k)
        (k < pagesFrom ? index.words : index.pages).prefetchBit(keys[k]);
    std::uint16_t hits[kMaxLabels * 2 + kMaxWords];
    std::size_t hitCount = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const RuleTable &table = k < pagesFrom ? index.words : index.pages;
        if (table.mayHold(keys[k])) {
            table.prefetchSlot(keys[k]);
            hits[hitCount++] = static_cast<std::uint16_t>(k);
        }
    }
    std::uint32_t n = 0;
    bool bare = false;
    for (std::size_t h = 0; h < hitCount && !r.budget.spent(); ++h) {
        const std::size_t k = hits[h];
        const RuleTable &table = k < pagesFrom ? index.words : index.pages;
        const std::uint32_t *ids = table.find(keys[k], n, bare);
        if (!ids)
            continue;
        if (k < wordsFrom && bare && (r.kind & kDefaultKinds))
            return ids[0];
        for (std::uint32_t j = 0; j < n && !r.budget.spent(); ++j) {
            const CompiledRule &f = rules_[ids[j]];
            std::size_t at = kAnywhere;
            if (k < wordsFrom) {
                // A `||host^` rule starts where this suffix of the host starts.
                at = r.host.end - r.hostSuffixLengths[k];
            } else if (k < pagesFrom && (f.flags & kWordAnchored)) {
                const std::uint32_t position = r.wordPositions[k - wordsFrom];
                if (position < f.wordOffset)
                    continue;
                at = position - f.wordOffset;
            }
            if (matches(f, r, at))
                return ids[j];
        }
    }
    for (const std::uint32_t id : index.unindexed)
        if (!r.budget.spent() && matches(rules_[id], r, kAnywhere))
            return id;
    return kNoRule;
}

bool FilterEngine::matches(const CompiledRule &f, Request &r, std::size_t at) const {
    // The budget counts about a nanosecond a unit: a rule tried costs some
    // tens, an expression run some microseconds and its text.
    r.budget.charge(64);
    if (!(f.kinds & r.kind))
        return false;
    const bool regex = f.flags & kRegex;
    if (regex) {
        r.budget.charge(r.url.size() / 8 + 1);
        const RegexRule &re = regexRules_[f.regex];
        if (re.requiredLength &&
            !memmem(r.url.data(), r.url.size(), pool_.data() + re.requiredText, re.requiredLength))
            return false;
    } else {
        const PatternAnchors anchors{(f.flags & kAnchorLeft) != 0, (f.flags & kAnchorHost) != 0,
                                     (f.flags & kAnchorRight) != 0};
        const std::string_view pattern(pool_.data() + f.pattern, f.patternLength);
        if (!patternMatches(pattern, anchors, r.url, r.host, at, r.budget))
            return false;
    }
    if (f.party != kAnyParty && !(f.party & partyOf(r, suffixes_)))
        return false;
    if (f.domainCount && !domainsMatch(f, r))
        return false;
    if (!regex)
        return true;
    // An expression runs in time linear in the address's length.
    r.budget.charge(r.original.size() + 2000);
    const re2::RE2 *re = regexes_[f.regex].get();
    return re && !r.budget.spent() &&
           re2::RE2::PartialMatch(re2::StringPiece(r.original.data(), r.original.size()), *re);
}

bool FilterEngine::domainsMatch(const CompiledRule &f, Request &r) const {
    const DomainName *begin = domains_.data() + f.domains;
    const DomainName *end = begin + f.domainCount;
    // A page the rule excludes is excluded however general the exclusion;
    // otherwise any listed name of the page's host includes it.
    bool included = false;
    auto look = [&](const std::uint64_t *hashes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const DomainName *d =
                std::lower_bound(begin, end, hashes[i],
                                 [](const DomainName &x, std::uint64_t h) { return x.hash < h; });
            for (; d != end && d->hash == hashes[i]; ++d) {
                if (d->negated)
                    return false;
                included = true;
            }
        }
        return true;
    };
    preparePageHashes(r);
    if (!look(r.pageHashes, r.pageCount))
        return false;
    if (f.flags & kEntityDomains) {
        prepareEntityHashes(r, suffixes_);
        if (!look(r.entityHashes, r.entityCount))
            return false;
    }
    return included || !(f.flags & kPositiveDomains);
}

}  // namespace quillow::filter
