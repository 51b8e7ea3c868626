#include "filter/filter_engine.h"

#include <re2/re2.h>

#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "filter/host_hash.h"
#include "filter/list_reader.h"
#include "filter/modifiers.h"
#include "filter/pattern.h"
#include "filter/request.h"
#include "filter/rule_parser.h"
#include "filter/word_choice.h"

namespace quillow::filter {

namespace {

// Host keys share the index's table with word keys.
constexpr std::uint64_t kHostSalt = 0x9e3779b97f4a7c15ull;
// Rules gathered for one request's modifiers, at most: more than any list
// has for one.
constexpr std::size_t kMostModifiers = 64;
// Rules of one host past which its rules with a path are found by a word.
constexpr std::uint32_t kCrowdedHost = 16;
constexpr std::uint32_t kCrowdedSiteHost = 4;
// Rules of one word past which a rule for some sites is found by its sites.
constexpr std::size_t kCrowdedWord = 8;
// What one expression may take to compile and run: most need far less
// than the first; a few of the lists' need the second. Together they may
// hold so many instructions: a hostile list's expressions cannot fill the
// memory.
constexpr std::int64_t kRegexMemory = 64 << 10;
constexpr std::int64_t kLargeRegexMemory = 256 << 10;
constexpr std::size_t kMostRegexInstructions = 1 << 20;
// An expression of a large program (counted repetitions, mostly) has so
// many states that its cache fills on every address and it runs several
// times slower: so many of them get this much more.
constexpr std::uint32_t kRoomyRegexSize = 300;
constexpr std::int64_t kRoomyRegexMemory = 1 << 20;
constexpr std::size_t kMostRoomyRegexes = 64;
// A run of one class's characters this long or longer is worth looking for
// before an expression runs ("[0-9a-f]{32}", a hash in the address).
constexpr std::size_t kTellingRun = 8;

// Whether `text` holds `length` characters of `set` in a row.
bool holdsRun(std::string_view text, const std::uint64_t set[4], std::size_t length) {
    std::size_t run = 0;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        run = (set[b >> 6] >> (b & 63)) & 1 ? run + 1 : 0;
        if (run >= length)
            return true;
    }
    return false;
}

std::uint64_t hostKey(std::uint64_t hostHashValue) {
    return (hostHashValue ^ kHostSalt) | 1;
}

re2::RE2::Options regexOptions(bool matchCase, std::int64_t memory = kRegexMemory) {
    re2::RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(matchCase);
    options.set_never_capture(true);
    options.set_max_mem(memory);
    return options;
}

// An expression compiled in the small budget, or in the large one when it
// needs that; null when it cannot be (why in `error`).
std::unique_ptr<re2::RE2> compiledRegex(re2::StringPiece pattern, bool matchCase,
                                        re2::RE2::ErrorCode *error = nullptr) {
    auto re = std::make_unique<re2::RE2>(pattern, regexOptions(matchCase));
    if (re->error_code() == re2::RE2::ErrorPatternTooLarge)
        re = std::make_unique<re2::RE2>(pattern, regexOptions(matchCase, kLargeRegexMemory));
    if (error)
        *error = re->error_code();
    return re->ok() ? std::move(re) : nullptr;
}

// How the lists' reading keeps an expression it compiled, for the engine.
std::string regexKey(std::string_view pattern, bool matchCase) {
    std::string key(1, matchCase ? 'C' : 'c');
    return key.append(pattern);
}

// Runs `work` on each of `items`, on the machine's cores (a few at most):
// a large expression takes milliseconds to compile, and the lists hold
// hundreds. Where no thread can be started, on this one alone.
template <typename Item, typename Work>
void onCores(std::vector<Item> &items, Work &&work) {
    constexpr std::size_t kMostThreads = 4;
    const std::size_t threads = std::min<std::size_t>(
        {std::max(1u, std::thread::hardware_concurrency()), kMostThreads, items.size() / 16 + 1});
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < items.size();)
            work(items[i]);
    };
    std::vector<std::thread> helpers;
    try {
        for (std::size_t t = 1; t < threads; ++t)
            helpers.emplace_back(run);
    } catch (const std::system_error &) {
        // Fewer helpers: the rest is done here.
    }
    run();
    for (std::thread &helper : helpers)
        helper.join();
}

// The host a `||host^...` pattern names whole, or empty.
std::string_view anchoredHost(const NetworkRule &rule) {
    if (!rule.anchorHost || rule.regex)
        return {};
    const std::string_view p = rule.pattern;
    std::size_t i = 0;
    // An IPv6 address, as requests name it: in brackets.
    if (!p.empty() && p[0] == '[') {
        const std::size_t close = p.find(']');
        if (close == std::string_view::npos || !isIpv6Literal(p.substr(0, close + 1)))
            return {};
        i = close + 1;
        if (i < p.size() && (p[i] == '^' || p[i] == '/'))
            return p.substr(0, i);
        return i == p.size() && rule.anchorRight ? p : std::string_view();
    }
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
    return !r.anchorRight && r.domains.empty() && r.targets.empty() && r.methods == 0 &&
           r.party == kAnyParty && r.kinds == kDefaultKinds &&
           r.pattern.size() == host.size() + 1 && r.pattern.back() == '^';
}

// What the index is built from: each kind of rule (important, blocking,
// exceptions, redirects, parameters) by key, by the sites of its domain=,
// or tried on every request of the kinds it is for.
struct IndexEntries {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> words;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pages;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> entities;
    std::unordered_set<std::uint64_t> bareKeys;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> unindexed;  // kinds, rule

    void build(RuleIndex &index, const std::vector<std::uint64_t> &hints) {
        index.words.build(words, bareKeys, &hints);
        index.pages.build(pages, {}, &hints);
        index.entities.build(entities, {}, &hints);
        std::vector<std::uint32_t> ids, starts;
        for (unsigned k = 0; k < kRequestKindCount; ++k) {
            starts.push_back(static_cast<std::uint32_t>(ids.size()));
            for (const auto &[kinds, id] : unindexed)
                if (kinds & (1u << k))
                    ids.push_back(id);
        }
        starts.push_back(static_cast<std::uint32_t>(ids.size()));
        index.unindexed = std::move(ids);
        index.unindexedStarts = std::move(starts);
    }
};

}  // namespace

struct FilterEngine::ParsedLists {
    std::vector<NetworkRule> rules;
    std::vector<RuleRef> refs;
    std::vector<CosmeticRule> cosmetics;
    std::vector<CosmeticRule> scriptlets;
    std::size_t trustedLists = 0;
    // A site's "#@#+js()": no scriptlet there; without sites, none at all.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> scriptletsOff;
    bool noScriptlets = false;
    std::unordered_set<std::string> cancelled;  // the forms `badfilter` rules name
    // Of rules for every address from some sites, the sites `badfilter`
    // rules take out, by the form of the rule without its sites.
    std::unordered_map<std::string, std::unordered_set<std::uint64_t>> cancelledSites;

    static std::string formWithoutSites(const NetworkRule &rule) {
        NetworkRule copy = rule;
        copy.domains.clear();
        return canonicalForm(copy);
    }
    // Whether a rule is cancelled; a rule for some sites loses those a
    // `badfilter` rule names and is cancelled when none is left.
    bool isCancelled(NetworkRule &rule) const {
        if (!cancelled.empty() && cancelled.count(canonicalForm(rule)))
            return true;
        if (cancelledSites.empty() || !isOriginOnly(rule))
            return false;
        const auto sites = cancelledSites.find(formWithoutSites(rule));
        if (sites == cancelledSites.end())
            return false;
        auto &d = rule.domains;
        d.erase(std::remove_if(d.begin(), d.end(),
                               [&](const DomainEntry &e) { return sites->second.count(e.hash); }),
                d.end());
        return d.empty();
    }
    std::size_t regexCount = 0;
    std::size_t regexInstructions = 0;
    // The expressions as they were compiled to be checked, by regexKey().
    std::unordered_map<std::string, std::unique_ptr<re2::RE2>> regexes;

    void takeScriptlet(CosmeticRule &rule, RuleRef ref, const FilterLimits &limits,
                       FilterStats &stats) {
        if (scriptlets.size() + 1 >= limits.maxCosmeticRules ||
            rule.domains.size() > limits.maxDomainsPerRule) {
            ++stats.overLimit;
            return;
        }
        bool positive = false;
        for (const DomainEntry &d : rule.domains)
            positive |= !d.negated;
        if (rule.exception && rule.selector == "[]") {
            for (const DomainEntry &d : rule.domains)
                if (!d.negated)
                    scriptletsOff.emplace_back(d.hash, 2);
            noScriptlets |= !positive;
            return;
        }
        // As uBlock Origin: only an exception applies everywhere.
        if (!rule.exception && !positive) {
            ++stats.unsupported;
            ++stats.skipped[static_cast<std::size_t>(SkipReason::Scriptlet)];
            return;
        }
        ++stats.scriptletRules;
        rule.ref = ref;
        if (rule.exception) {
            // It excepts the rule from any list, trusted or not.
            scriptlets.push_back(rule);
            rule.selector.insert(0, 1, '!');
        } else if (ref.list >= trustedLists) {
            rule.selector.insert(0, 1, '!');
        }
        scriptlets.push_back(std::move(rule));
    }

    // One rule read from a list: kept, or counted as what kept it out.
    void take(RuleType type, std::string_view line, NetworkRule &rule, CosmeticRule &cosmetic,
              RuleRef ref, const FilterLimits &limits, FilterStats &stats) {
        switch (type) {
            case RuleType::None:
                return;
            case RuleType::Unsupported:
                ++stats.unsupported;
                ++stats.skipped[static_cast<std::size_t>(skipReasonOf(line))];
                return;
            case RuleType::Invalid:
                ++stats.invalid;
                return;
            case RuleType::Cosmetic:
                if (cosmetic.scriptlet)
                    return takeScriptlet(cosmetic, ref, limits, stats);
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
            if (isOriginOnly(rule)) {
                auto &sites = cancelledSites[formWithoutSites(rule)];
                for (const DomainEntry &d : rule.domains)
                    sites.insert(d.hash);
            } else {
                cancelled.insert(canonicalForm(rule));
            }
            return;
        }
        if (rules.size() >= limits.maxNetworkRules ||
            rule.domains.size() > std::min<std::size_t>(limits.maxDomainsPerRule, 0xffff) ||
            (rule.regex && (++regexCount > limits.maxRegexRules ||
                            rule.pattern.size() > limits.maxRegexLength))) {
            ++stats.overLimit;
            return;
        }
        if (rule.regex) {
            re2::RE2::ErrorCode error = re2::RE2::NoError;
            auto re = compiledRegex(rule.pattern, rule.matchCase, &error);
            if (!re) {
                // Look-around and back-references cannot run in linear time;
                // the rest is no expression at all.
                const bool beyond =
                    error == re2::RE2::ErrorBadPerlOp || error == re2::RE2::ErrorBadEscape ||
                    error == re2::RE2::ErrorRepeatSize || error == re2::RE2::ErrorPatternTooLarge;
                ++(beyond ? stats.unsupported : stats.invalid);
                if (beyond)
                    ++stats.skipped[static_cast<std::size_t>(SkipReason::Expression)];
                return;
            }
            rule.programSize = static_cast<std::uint32_t>(re->ProgramSize());
            regexInstructions += rule.programSize;
            if (regexInstructions > kMostRegexInstructions) {
                ++stats.overLimit;
                return;
            }
            regexes.emplace(regexKey(rule.pattern, rule.matchCase), std::move(re));
        }
        rules.push_back(std::move(rule));
        refs.push_back(ref);
    }
};

FilterEngine::FilterEngine() = default;
FilterEngine::~FilterEngine() = default;

std::unique_ptr<FilterEngine> FilterEngine::build(const std::vector<std::string_view> &lists,
                                                  PublicSuffixList suffixes,
                                                  const FilterLimits &limits,
                                                  const std::vector<ResourceName> &resources,
                                                  std::size_t trustedLists) {
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    engine->suffixes_ = std::move(suffixes);
    std::vector<std::uint64_t> names, forXhr;
    for (const ResourceName &r : resources) {
        names.push_back(hostHash(r.name));
        if (r.forXhr)
            forXhr.push_back(hostHash(r.name));
    }
    std::sort(names.begin(), names.end());
    std::sort(forXhr.begin(), forXhr.end());
    engine->resources_ = std::move(names);
    engine->xhrResources_ = std::move(forXhr);
    ParsedLists parsed;
    parsed.trustedLists = trustedLists;
    NetworkRule rule;
    CosmeticRule cosmetic;
    for (std::size_t list = 0; list < lists.size(); ++list) {
        ListReader reader(lists[list]);
        std::string_view line;
        std::uint32_t number = 0;
        while (reader.next(line, number)) {
            const RuleType type = parseRule(line, rule, cosmetic);
            parsed.take(type, line, rule, cosmetic, {static_cast<std::uint32_t>(list), number},
                        limits, engine->stats_);
        }
    }
    engine->compileNetworkRules(parsed);
    engine->stats_.cosmeticRules = parsed.cosmetics.size();
    engine->compileRegexes(true, &parsed);
    engine->findNeedles();
    return engine;
}

// The network rules as they are compiled, before the engine keeps them.
struct FilterEngine::Compiled {
    std::vector<CompiledRule> rules;
    std::vector<RegexRule> regexRules;
    std::vector<DomainName> domains;
    std::vector<ModifierRule> modifiers;
    std::string pool;

    std::uint32_t add(const NetworkRule &rule, RuleRef ref);
    std::uint32_t addNames(const std::vector<DomainEntry> &entries, std::uint8_t &flags);
    void addModifier(const NetworkRule &rule, CompiledRule &f);
};

std::uint32_t FilterEngine::Compiled::addNames(const std::vector<DomainEntry> &entries,
                                               std::uint8_t &flags) {
    std::vector<DomainName> names;
    for (const DomainEntry &d : entries) {
        names.push_back({d.hash, d.negated, d.entity});
        flags |= (d.entity ? kEntityDomains : 0) | (d.negated ? 0 : kPositiveDomains);
    }
    std::sort(names.begin(), names.end(),
              [](const DomainName &a, const DomainName &b) { return a.hash < b.hash; });
    const auto at = static_cast<std::uint32_t>(domains.size());
    domains.insert(domains.end(), names.begin(), names.end());
    return at;
}

void FilterEngine::Compiled::addModifier(const NetworkRule &r, CompiledRule &f) {
    ModifierRule m;
    m.kind = static_cast<std::uint8_t>(r.modifier);
    m.action = r.exception   ? ModifierRule::kAllow
               : r.important ? ModifierRule::kImportant
                             : ModifierRule::kBlock;
    m.value = static_cast<std::uint32_t>(pool.size());
    m.length = static_cast<std::uint16_t>(r.modifierValue.size());
    pool += r.modifierValue;
    std::string_view value = r.modifierValue;
    if (r.modifier == Modifier::Redirect) {
        // "name:priority"; a leading '%' asks for a data: address, the same here.
        const ParsedRedirect parsed = parseRedirectValue(value);
        m.priority = parsed.priority;
        m.value += static_cast<std::uint32_t>(parsed.tokenStart);
        m.token = static_cast<std::uint16_t>(parsed.token.size());
        m.length = static_cast<std::uint16_t>(r.modifierValue.size() - parsed.tokenStart);
    } else {
        const ParsedParam parsed = parseParamValue(value);
        m.form = parsed.form;
        m.negated = parsed.negated;
        if (m.form == ModifierRule::kPairRegex &&
            !re2::RE2(parsed.regex, paramRegexOptions(parsed.caseless)).ok())
            m.form = ModifierRule::kBad;
    }
    f.modifier = static_cast<std::uint32_t>(modifiers.size() + 1);
    modifiers.push_back(m);
}

std::uint32_t FilterEngine::Compiled::add(const NetworkRule &r, RuleRef ref) {
    CompiledRule f;
    f.pattern = static_cast<std::uint32_t>(pool.size());
    f.patternLength = static_cast<std::uint16_t>(r.pattern.size());
    pool += r.pattern;
    f.kinds = r.kinds;
    f.party = r.party;
    f.methods = r.methods;
    f.list = static_cast<std::uint16_t>(ref.list);
    f.line = ref.line;
    f.flags = (r.anchorLeft ? kAnchorLeft : 0) | (r.anchorHost ? kAnchorHost : 0) |
              (r.anchorRight ? kAnchorRight : 0) | (r.matchCase ? kMatchCase : 0) |
              (r.regex ? kRegex : 0);
    if (!r.domains.empty()) {
        f.domains = addNames(r.domains, f.flags);
        f.domainCount = static_cast<std::uint16_t>(r.domains.size());
    }
    if (!r.targets.empty()) {
        std::uint8_t ignored = 0;
        f.targets = addNames(r.targets, ignored);
        f.targetCount = static_cast<std::uint16_t>(r.targets.size());
    }
    if (r.modifier != Modifier::None)
        addModifier(r, f);
    if (r.regex) {
        const RegexFacts facts = regexFacts(r.pattern);
        const std::string required = mostTelling(facts);
        RegexRule re;
        re.requiredText = static_cast<std::uint32_t>(pool.size());
        re.requiredLength = static_cast<std::uint32_t>(required.size());
        pool += required;
        re.otherTexts = static_cast<std::uint32_t>(pool.size());
        bool chosen = false;
        for (const std::string &text : facts.texts) {
            // The chosen text is looked for already; those of one
            // character tell nothing.
            if ((text == required && !std::exchange(chosen, true)) || text.size() < 2)
                continue;
            pool += text;
            pool += '\n';
        }
        re.otherLength = static_cast<std::uint32_t>(pool.size() - re.otherTexts);
        re.shortest = static_cast<std::uint32_t>(std::min<std::size_t>(facts.shortest, 1u << 30));
        re.roomy = r.programSize;  // until the largest are chosen
        // Shorter runs are in most addresses.
        if (facts.runLength >= kTellingRun) {
            re.runLength = std::min<std::uint64_t>(facts.runLength, 1u << 30);
            std::copy(facts.runClass, facts.runClass + 4, re.runClass);
        }
        f.regex = static_cast<std::uint32_t>(regexRules.size());
        regexRules.push_back(re);
    }
    rules.push_back(f);
    return static_cast<std::uint32_t>(rules.size() - 1);
}

namespace {

// Where the index finds a rule: under a key (its host or word), under the
// sites of its domain=, under the hosts of its to=, or among those tried on
// every request of its kinds.
struct Placement {
    std::uint64_t key = 0;
    bool bare = false;
    bool bySite = false;
    bool byTarget = false;
};

void place(IndexEntries &e, const Placement &at, std::uint32_t id, const NetworkRule &r) {
    if (at.key) {
        e.words.emplace_back(at.key, id);
        if (at.bare)
            e.bareKeys.insert(at.key);
    } else if (at.bySite) {
        for (const DomainEntry &d : r.domains)
            if (!d.negated)
                (d.entity ? e.entities : e.pages).emplace_back(d.hash, id);
    } else if (at.byTarget) {
        for (const DomainEntry &d : r.targets)
            if (!d.negated)
                e.words.emplace_back(hostKey(d.hash), id);
    } else {
        e.unindexed.emplace_back(r.kinds, id);
    }
}

// Whether a list names sites a rule is for, not only sites left out.
bool namesSitesFor(const std::vector<DomainEntry> &names) {
    return std::any_of(names.begin(), names.end(), [](const DomainEntry &d) { return !d.negated; });
}

// The same of to=, whose hosts are found as a host of the request: no
// "name.*".
bool namesHostsFor(const std::vector<DomainEntry> &names) {
    return namesSitesFor(names) &&
           std::none_of(names.begin(), names.end(),
                        [](const DomainEntry &d) { return d.entity && !d.negated; });
}

}  // namespace

namespace {

// How many rules name each host, in one flat table by the host's hash: the
// lists name a hundred thousand, and a node each took a tenth of their
// loading. Two hosts of one hash would only share a count.
class HostCounts {
public:
    explicit HostCounts(std::size_t most) {
        std::size_t size = 16;
        while (size < most * 2)
            size *= 2;
        slots_.assign(size, Slot());
    }
    void add(std::string_view host) {
        const std::uint64_t key = keyOf(host);
        Slot &slot = slots_[placeOf(key)];
        slot.key = key;
        ++slot.count;
    }
    std::uint32_t of(std::string_view host) const { return slots_[placeOf(keyOf(host))].count; }

private:
    struct Slot {
        std::uint64_t key = 0;
        std::uint32_t count = 0;
    };
    static std::uint64_t keyOf(std::string_view host) { return hostHash(host) | 1; }
    // The key's slot, or the empty one where it would go.
    std::size_t placeOf(std::uint64_t key) const {
        std::size_t i = key & (slots_.size() - 1);
        while (slots_[i].key != key && slots_[i].key != 0)
            i = (i + 1) & (slots_.size() - 1);
        return i;
    }
    std::vector<Slot> slots_;
};

// How many rules share each host, word and to= host: what the index finds
// a rule by is the one that finds the fewest others with it.
class Placer {
public:
    explicit Placer(const std::vector<NetworkRule> &rules) : hostUse_(rules.size()) {
        for (const NetworkRule &r : rules) {
            for (const DomainEntry &d : r.targets)
                targetUse_[d.hash] += !d.negated;
            if (const std::string_view host = anchoredHost(r); !host.empty())
                hostUse_.add(host);
        }
        // The words of the rules that may be filed under one: those with no
        // host, and the path's of those whose host is crowded (hundreds of
        // rules name one video host's script, each for its own sites).
        for (const NetworkRule &r : rules) {
            const std::string_view host = anchoredHost(r);
            if (!r.regex && host.empty())
                words_.count(r);
            else if (!host.empty() && crowded(r, host))
                words_.count(r, host.size() + 1);
        }
    }

    // Where the index finds rule r (compiled as f); a regular expression's
    // required text given.
    Placement place(const NetworkRule &r, std::string_view host, std::string_view requiredText,
                    CompiledRule &f) {
        Placement at;
        // Rules for every site under a top-level name ("domain=com") would
        // be tried on most pages: found as rules for no site are.
        const bool bySite =
            namesSitesFor(r.domains) &&
            std::none_of(r.domains.begin(), r.domains.end(),
                         [](const DomainEntry &d) { return d.topLevel && !d.negated; });
        const bool crowded = !host.empty() && this->crowded(r, host);
        // A word many rules hold finds them all: the sites a rule is for
        // find fewer.
        const auto good = [bySite](const ChosenWord &w) {
            return w.hash && (!bySite || w.use <= kCrowdedWord);
        };
        ChosenWord word;
        if (r.bareWords) {
            word = bareWord(r);
        } else if (!host.empty() && !crowded) {
            at.key = hostKey(hostHash(host));
            at.bare = r.modifier == Modifier::None && isBareHostRule(r, host);
        } else if (!host.empty()) {
            word = words_.choose(r, host.size() + 1);
            if (!good(word) && !bySite)
                at.key = hostKey(hostHash(host));
        } else if (r.regex) {
            // An expression for some kinds whose only word nearly every
            // address holds ("com", "js") is tried on requests of its kinds.
            const ChosenWord required = words_.chooseIn(requiredText);
            if (good(required) && (required.use < kCommonWordUse || r.kinds == kAllKinds))
                at.key = required.hash;
        } else {
            word = words_.choose(r);
        }
        if (!at.key && good(word)) {
            at.key = word.hash;
            // With no wildcard before its word, a rule can only match where
            // the address holds that word, a fixed distance after its start.
            if (r.bareWords || r.pattern.find('*') >= word.offset) {
                f.flags |= kWordAnchored;
                f.wordOffset = static_cast<std::uint16_t>(word.offset);
            }
        }
        // A parameter rule for every address is found by the name it takes
        // off, as uBlock Origin finds it.
        if (!at.key && !bySite && r.modifier == Modifier::RemoveParam && r.pattern.empty())
            at.key = paramWord(r.modifierValue);
        at.bySite = !at.key && bySite;
        at.byTarget = !at.key && !bySite && namesHostsFor(r.targets) &&
                      std::all_of(r.targets.begin(), r.targets.end(), [&](const DomainEntry &d) {
                          return d.negated || targetUse_[d.hash] <= kCrowdedWord;
                      });
        if (at.byTarget)
            f.lookup |= kByTargetHost;
        return at;
    }

private:
    // A host many rules name is found by a word of the path after it, or,
    // for rules for some sites, by their sites.
    // So is a top-level name ("||com/path"): it finds every request to it.
    bool crowded(const NetworkRule &r, std::string_view host) const {
        if (host.find('.') == std::string_view::npos)
            return true;
        return hostUse_.of(host) > (namesSitesFor(r.domains) ? kCrowdedSiteHost : kCrowdedHost);
    }

    // uBlock Origin's word for a bare name: its first of two characters or
    // more, or its first.
    static ChosenWord bareWord(const NetworkRule &r) {
        std::string_view first, longer;
        forEachWholeWord(r.pattern, true, true, [&](std::string_view w) {
            if (first.empty())
                first = w;
            if (longer.empty() && w.size() > 1)
                longer = w;
        });
        const std::string_view bare = longer.empty() ? first : longer;
        return {tokenHash(bare.data(), bare.data() + bare.size()),
                std::size_t(bare.data() - r.pattern.data()), 0};
    }

    WordUse words_;
    HostCounts hostUse_;
    std::unordered_map<std::uint64_t, std::uint32_t> targetUse_;
};

// How often a character stands in addresses, roughly: the rarer, the fewer
// places a search for it stops at. Looked up: every rule's characters are
// weighed when the lists load.
struct Commonness {
    std::uint8_t of[256] = {};
    constexpr Commonness() {
        constexpr std::string_view kByUse = "/.-_=&?:0123456789etaoisnrclmphdugbfwyvkxjqz";
        for (std::size_t at = 0; at < kByUse.size(); ++at)
            of[static_cast<unsigned char>(kByUse[at])] =
                static_cast<std::uint8_t>(kByUse.size() - at);
    }
};
constexpr Commonness kCommonness;
std::size_t commonness(char c) {
    return kCommonness.of[static_cast<unsigned char>(c)];
}

// Up to `most` (at most 3) of the rarest pairs of adjacent characters of
// `text` that every address it matches holds (none across a '*' or '^',
// none in upper case), each once, as pairKey() makes them. Returns how many.
std::size_t rarestPairs(std::string_view text, std::uint16_t *out, std::size_t most) {
    const auto plain = [](char c) { return c != '*' && c != '^' && !(c >= 'A' && c <= 'Z'); };
    std::pair<std::size_t, std::uint16_t> best[3];
    std::size_t n = 0;
    most = std::min<std::size_t>(most, 3);
    for (std::size_t c = 1; c < text.size(); ++c) {
        if (!plain(text[c - 1]) || !plain(text[c]))
            continue;
        const std::pair<std::size_t, std::uint16_t> pair{
            commonness(text[c - 1]) + commonness(text[c]),
            pairKey(static_cast<unsigned char>(text[c - 1]), static_cast<unsigned char>(text[c]))};
        if (std::any_of(best, best + n, [&](const auto &b) { return b.second == pair.second; }))
            continue;
        std::size_t at = n;
        if (n < most)
            ++n;
        else if (pair < best[n - 1])
            at = n - 1;
        else
            continue;
        // Into its place among the kept, rarest first.
        for (; at > 0 && pair < best[at - 1]; --at)
            best[at] = best[at - 1];
        best[at] = pair;
    }
    for (std::size_t i = 0; i < n; ++i)
        out[i] = best[i].second;
    return n;
}

// What a run keeps of each of its rules, so that most are passed over
// unread: the kinds it is for and two pairs of characters its address holds.
std::uint64_t hintOf(const CompiledRule &f, std::string_view pool,
                     const std::vector<RegexRule> &regexRules) {
    std::string_view text;
    if (f.flags & kRegex) {
        const RegexRule &re = regexRules[f.regex];
        text = pool.substr(re.requiredText, re.requiredLength);
    } else {
        text = pool.substr(f.pattern, f.patternLength);
    }
    std::uint16_t pairs[2] = {};
    const std::size_t n = rarestPairs(text, pairs, 2);
    std::uint64_t hint = f.kinds;
    for (std::size_t i = 0; i < n; ++i)
        hint |= std::uint64_t(pairs[i] | RuleTable::kHintPair) << (16 * (i + 1));
    return hint;
}

}  // namespace

void FilterEngine::compileNetworkRules(ParsedLists &parsed) {
    Placer placer(parsed.rules);
    IndexEntries entries[5];  // important, blocking, exceptions, redirects, removeparams
    std::map<std::string, std::uint8_t> switches;
    Compiled compiled;
    for (std::size_t n = 0; n < parsed.rules.size(); ++n) {
        NetworkRule &r = parsed.rules[n];
        if (parsed.isCancelled(r))
            continue;
        const std::string_view host = anchoredHost(r);
        if (r.cosmeticSwitches && !host.empty() && r.pattern.size() <= host.size() + 1)
            switches[std::string(host)] |= r.cosmeticSwitches;
        if (r.kinds == 0)
            continue;
        const std::uint32_t id = compiled.add(r, parsed.refs[n]);
        CompiledRule &f = compiled.rules[id];
        std::string_view requiredText;
        if (r.regex) {
            const RegexRule &re = compiled.regexRules[f.regex];
            requiredText =
                std::string_view(compiled.pool).substr(re.requiredText, re.requiredLength);
        }
        const Placement at = placer.place(r, host, requiredText, f);
        const std::uint8_t flags = f.flags;
        if (r.modifier != Modifier::None)
            place(entries[r.modifier == Modifier::Redirect ? 3 : 4], at, id, r);
        if (r.modifier != Modifier::None && !r.alsoBlocks)
            continue;
        // $redirect= blocks too: the same rule without its modifier.
        std::uint32_t blockId = id;
        if (r.alsoBlocks) {
            r.modifier = Modifier::None;
            blockId = compiled.add(r, parsed.refs[n]);
            compiled.rules[blockId].flags = flags;
            compiled.rules[blockId].wordOffset = compiled.rules[id].wordOffset;
            compiled.rules[blockId].lookup = compiled.rules[id].lookup;
        }
        const int which = r.exception ? 2 : (r.important ? 0 : 1);
        place(entries[which], at, blockId, r);
        // Important rules are blocking rules too.
        if (which == 0)
            place(entries[1], at, blockId, r);
    }
    RuleIndex *indexes[] = {&important_, &blocking_, &exceptions_, &redirects_, &removeParams_};
    std::vector<std::uint64_t> hints;
    hints.reserve(compiled.rules.size());
    for (const CompiledRule &f : compiled.rules)
        hints.push_back(hintOf(f, compiled.pool, compiled.regexRules));
    for (int i = 0; i < 5; ++i)
        entries[i].build(*indexes[i], hints);
    rules_ = std::move(compiled.rules);
    regexRules_ = std::move(compiled.regexRules);
    domains_ = std::move(compiled.domains);
    modifiers_ = std::move(compiled.modifiers);
    pool_ = std::vector<char>(compiled.pool.begin(), compiled.pool.end());
    stats_.networkRules = rules_.size();
    elementHiding_.build(parsed.cosmetics, switches);
    if (!parsed.noScriptlets)
        scriptlets_.build(parsed.scriptlets, {}, parsed.scriptletsOff);
}

namespace {

// The longest text of a pattern with no '*' or '^' in it.
std::string_view longestLiteral(std::string_view pattern) {
    std::string_view best;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= pattern.size(); ++i) {
        if (i < pattern.size() && pattern[i] != '*' && pattern[i] != '^')
            continue;
        if (i - start > best.size())
            best = pattern.substr(start, i - start);
        start = i + 1;
    }
    return best;
}

}  // namespace

// The rules every request of a kind tries are passed over without being
// read when the address lacks their text.
void FilterEngine::findNeedles() {
    for (RuleIndex *index : {&important_, &blocking_, &exceptions_, &redirects_, &removeParams_}) {
        index->needles.assign(index->unindexed.size(), Needle());
        for (std::size_t i = 0; i < index->unindexed.size(); ++i) {
            const CompiledRule &f = rules_[index->unindexed[i]];
            std::string_view text;
            if (f.flags & kRegex) {
                const RegexRule &re = regexRules_[f.regex];
                text = std::string_view(pool_.data() + re.requiredText, re.requiredLength);
            } else {
                text = longestLiteral(std::string_view(pool_.data() + f.pattern, f.patternLength));
            }
            // Addresses are looked at in lower case.
            if (text.size() < 2 || text.size() > 0xffff ||
                std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
                continue;
            Needle &n = index->needles[i];
            n.text = static_cast<std::uint32_t>(text.data() - pool_.data());
            n.length = static_cast<std::uint16_t>(text.size());
            for (std::size_t c = 1; c < text.size(); ++c)
                if (commonness(text[c]) < commonness(text[n.anchor]))
                    n.anchor = static_cast<std::uint16_t>(c);
            n.pairCount = static_cast<std::uint16_t>(rarestPairs(text, n.pairs, 3));
        }
    }
}

void FilterEngine::compileRegexes(bool fromLists, ParsedLists *parsed) {
    // The largest programs get more room. Built from lists, they are
    // chosen by the sizes found when the lists were read, and marked for
    // the cache; one read back holds no more of them than lists could give.
    if (fromLists) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> large;
        for (std::uint32_t i = 0; i < regexRules_.size(); ++i)
            if (regexRules_[i].roomy >= kRoomyRegexSize)
                large.emplace_back(regexRules_[i].roomy, i);
        std::sort(large.begin(), large.end(), std::greater<>());
        large.resize(std::min(large.size(), kMostRoomyRegexes));
        std::vector<RegexRule> marked(regexRules_.data(), regexRules_.data() + regexRules_.size());
        for (RegexRule &re : marked)
            re.roomy = 0;
        for (const auto &[size, i] : large)
            marked[i].roomy = 1;
        regexRules_ = std::move(marked);
    }
    regexes_.clear();
    regexes_.resize(regexRules_.size());
    // Each rule has an expression of its own (a place in regexes_), so the
    // cores may compile them side by side; the largest first.
    struct Job {
        std::uint32_t regex;
        re2::StringPiece pattern;
        bool matchCase;
        bool roomy;
    };
    std::vector<Job> jobs;
    std::size_t roomy = 0;
    for (const CompiledRule &f : rules_) {
        if (!(f.flags & kRegex))
            continue;
        const Job job{f.regex, re2::StringPiece(pool_.data() + f.pattern, f.patternLength),
                      (f.flags & kMatchCase) != 0,
                      regexRules_[f.regex].roomy && roomy < kMostRoomyRegexes};
        roomy += job.roomy;
        if (parsed && !job.roomy) {
            const auto found = parsed->regexes.find(
                regexKey({job.pattern.data(), job.pattern.size()}, job.matchCase));
            if (found != parsed->regexes.end() && found->second) {
                regexes_[job.regex] = std::move(found->second);
                continue;
            }
        }
        jobs.push_back(job);
    }
    std::stable_partition(jobs.begin(), jobs.end(), [](const Job &job) { return job.roomy; });
    onCores(jobs, [this](const Job &job) {
        if (!job.roomy) {
            regexes_[job.regex] = compiledRegex(job.pattern, job.matchCase);
            return;
        }
        auto re =
            std::make_unique<re2::RE2>(job.pattern, regexOptions(job.matchCase, kRoomyRegexMemory));
        if (re->ok())
            regexes_[job.regex] = std::move(re);
    });
    compileParamRegexes();
}

void FilterEngine::compileParamRegexes() {
    paramRegexes_.clear();
    paramRegexes_.resize(modifiers_.size());
    for (std::size_t i = 0; i < modifiers_.size(); ++i) {
        const ModifierRule &m = modifiers_[i];
        if (m.form != ModifierRule::kPairRegex || m.kind != std::uint8_t(Modifier::RemoveParam))
            continue;
        const ParsedParam parsed = parseParamValue(modifierValue(m));
        auto re = std::make_unique<re2::RE2>(parsed.regex, paramRegexOptions(parsed.caseless));
        if (re->ok())
            paramRegexes_[i] = std::move(re);
    }
}

Verdict FilterEngine::decide(std::string_view url, std::string_view pageUrl, RequestKind kind,
                             std::uint8_t method) const {
    return decide(prepareRequest(url, pageUrl, kind, method, &blocking_.words));
}

Verdict FilterEngine::decide(const QUrl &url, const QUrl &page, RequestKind kind,
                             std::uint8_t method) const {
    return decide(prepareRequest(url, page, kind, method, &blocking_.words));
}

Verdict FilterEngine::decide(Request &r) const {
    Verdict verdict;
    // Important rules are in the blocking index too; they are asked for
    // only when an exception would let the request pass.
    std::uint32_t rule = firstMatch(blocking_, r);
    std::uint32_t exception = kNoRule;
    if (rule != kNoRule) {
        // A host's rule is found without reading it: where it is written
        // comes from far in memory, fetched while the rest is decided.
        __builtin_prefetch(&rules_[rule]);
        exception = firstMatch(exceptions_, r);
        verdict.blocked = exception == kNoRule;
        if (!verdict.blocked) {
            const std::uint32_t important = firstMatch(important_, r);
            if (important != kNoRule) {
                rule = important;
                verdict.blocked = true;
            }
        }
    }
    if (verdict.blocked)
        chooseRedirect(r, verdict);
    else
        removeParams(r, verdict);
    // A decision that ran out of time is no decision: the request passes.
    if (r.budget.spent()) {
        overBudget_.fetch_add(1, std::memory_order_relaxed);
        verdict = Verdict();
        verdict.overBudget = true;
        return verdict;
    }
    if (rule != kNoRule)
        verdict.rule = refOf(rule);
    if (exception != kNoRule)
        verdict.exception = refOf(exception);
    return verdict;
}

// Calls found(id) for each rule of `index` that matches the request, until
// it returns true.
namespace {

// Whether a rule may meet the request, from what its run keeps of it.
bool admits(std::uint64_t hint, const Request &r) {
    if (!(hint & r.kind))
        return false;
    for (int i = 1; i <= 2; ++i) {
        const auto pair = static_cast<std::uint16_t>(hint >> (16 * i));
        if ((pair & RuleTable::kHintPair) && !r.mayHoldPair(pair & ~RuleTable::kHintPair))
            return false;
    }
    return true;
}

}  // namespace

template <typename Found>
void FilterEngine::forEachMatch(const RuleIndex &index, Request &r, Found &&found) const {
    // Most lists hold no rule of some kinds (neutral resources, cleaned
    // addresses): their requests skip the index at once.
    if (index.empty())
        return;
    // The keys' bits and slots are far apart in memory: ask for all of them
    // first, so their cache misses overlap instead of following each other.
    const bool byPage = !index.pages.table.empty();
    const bool byEntity = !index.entities.table.empty();
    if (byPage || byEntity)
        preparePageHashes(r);
    // The page's suffix is fetched while the keys are gathered.
    if (byEntity && !r.entitiesReady)
        suffixes_.prefetch(r.pageHashes, r.pageCount);
    std::uint64_t keys[kMaxLabels * 3 + kMaxWords];
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
    const std::size_t entitiesFrom = count;
    const auto tableOf = [&](std::size_t k) -> const RuleTable & {
        return k < pagesFrom ? index.words : k < entitiesFrom ? index.pages : index.entities;
    };
    for (std::size_t k = 0; k < count; ++k) {
        tableOf(k).prefetchBit(keys[k]);
        tableOf(k).prefetchSlot(keys[k]);
    }
    if (byEntity) {
        prepareEntityHashes(r, suffixes_);
        for (std::size_t i = 0; i < r.entityCount; ++i) {
            index.entities.prefetchBit(r.entityHashes[i]);
            keys[count++] = r.entityHashes[i];
        }
    }
    std::uint16_t hits[kMaxLabels * 3 + kMaxWords];
    std::size_t hitCount = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const RuleTable &table = tableOf(k);
        if (table.mayHold(keys[k])) {
            if (k >= entitiesFrom)
                table.prefetchSlot(keys[k]);
            hits[hitCount++] = static_cast<std::uint16_t>(k);
        }
    }
    // The runs found, a batch at a time, their first rules fetched
    // together before any is read: rules lie far apart in memory.
    struct Run {
        const std::uint32_t *ids;
        std::uint32_t n;
        std::uint16_t key;
        bool bare;
    };
    constexpr std::size_t kBatch = 16;
    Run runs[kBatch];
    for (std::size_t from = 0; from < hitCount && !r.budget.spent(); from += kBatch) {
        std::size_t runCount = 0;
        for (std::size_t h = from; h < std::min(hitCount, from + kBatch); ++h) {
            const std::size_t k = hits[h];
            Run &run = runs[runCount];
            std::uint16_t kinds = 0;
            run.ids = tableOf(k).find(keys[k], run.n, run.bare, kinds);
            if (!run.ids || !(kinds & r.kind))
                continue;
            run.key = static_cast<std::uint16_t>(k);
            if (run.n == 1)
                __builtin_prefetch(&rules_[run.ids[0]]);
            else
                __builtin_prefetch(tableOf(k).hintsOf(run.ids));
            ++runCount;
        }
        for (std::size_t h = 0; h < runCount && !r.budget.spent(); ++h) {
            const Run &run = runs[h];
            const std::size_t k = run.key;
            const std::uint32_t *const ids = run.ids;
            const std::uint32_t n = run.n;
            if (k < wordsFrom && run.bare && (r.kind & kDefaultKinds) && found(ids[0]))
                return;
            const std::uint64_t *hints = n > 1 ? tableOf(k).hintsOf(ids) : nullptr;
            if (hints)
                preparePairs(r);
            for (std::uint32_t j = 0; j < n && !r.budget.spent(); ++j) {
                if (hints && !admits(hints[j], r))
                    continue;
                const CompiledRule &f = rules_[ids[j]];
                std::size_t at = kAnywhere;
                if (k < wordsFrom && (f.lookup & kByTargetHost)) {
                    // Found by a host its to= names: anywhere.
                } else if (k < wordsFrom) {
                    // A `||host^` rule starts where this suffix of the host starts.
                    at = r.host.end - r.hostSuffixLengths[k];
                } else if (k < pagesFrom && (f.flags & kWordAnchored)) {
                    const std::uint32_t position = r.wordPositions[k - wordsFrom];
                    if (position < f.wordOffset)
                        continue;
                    at = position - f.wordOffset;
                }
                if (matches(f, r, at) && found(ids[j]))
                    return;
            }
        }
    }
    const unsigned kind = static_cast<unsigned>(__builtin_ctz(r.kind | (1u << 15)));
    const std::uint32_t *const unindexed = index.unindexed.data();
    const Needle *const needles = index.needles.data();
    const std::uint32_t first = index.unindexedStarts[kind], last = index.unindexedStarts[kind + 1];
    if (first < last)
        preparePairs(r);
    for (std::uint32_t i = first; i < last && !r.budget.spent(); ++i) {
        const Needle &needle = needles[i];
        if (needle.length && !std::all_of(needle.pairs, needle.pairs + needle.pairCount,
                                          [&r](std::uint16_t pair) { return r.mayHoldPair(pair); }))
            continue;
        if (needle.length &&
            !findText(r.url, 0, std::string_view(pool_.data() + needle.text, needle.length),
                      r.budget, needle.anchor))
            continue;
        if (matches(rules_[unindexed[i]], r, kAnywhere) && found(unindexed[i]))
            return;
    }
}

std::uint32_t FilterEngine::firstMatch(const RuleIndex &index, Request &r) const {
    std::uint32_t first = kNoRule;
    forEachMatch(index, r, [&first](std::uint32_t id) {
        first = id;
        return true;
    });
    return first;
}

namespace {

// A few rules' numbers on the stack: weighing a request's modifiers
// allocates nothing.
struct RuleIds {
    std::uint32_t ids[kMostModifiers];
    std::size_t count = 0;
    std::uint32_t *begin() { return ids; }
    std::uint32_t *end() { return ids + count; }
    const std::uint32_t *begin() const { return ids; }
    const std::uint32_t *end() const { return ids + count; }
    bool empty() const { return count == 0; }
    void push_back(std::uint32_t id) {
        if (count < kMostModifiers)
            ids[count++] = id;
    }
};

}  // namespace

// Every matching rule of a modifier index, then weighed as uBlock Origin
// weighs them: an important rule stands whatever excepts it; an exception
// cancels the rules of its own value, one without a value all of them
// (but the important). Writes the rules that stand, blocking before
// important before excepting as uBlock Origin orders them; returns how many.
std::size_t FilterEngine::matchingModifiers(const RuleIndex &index, Request &r, std::uint32_t *out,
                                            std::size_t most) const {
    std::uint32_t found[kMostModifiers];
    std::size_t count = 0;
    forEachMatch(index, r, [&](std::uint32_t id) {
        found[count++] = id;
        return count == kMostModifiers;
    });
    const auto modifier = [this](std::uint32_t id) -> const ModifierRule & {
        return modifiers_[rules_[id].modifier - 1];
    };
    const auto value = [&](std::uint32_t id) { return modifierValue(modifier(id)); };
    if (count == 1) {
        if (modifier(found[0]).action == ModifierRule::kAllow)
            return 0;
        out[0] = found[0];
        return 1;
    }
    // One of each value and action, the last found as uBlock Origin's maps keep it.
    RuleIds add, important, remove;
    const auto keep = [&](RuleIds &into, std::uint32_t id) {
        for (std::uint32_t &kept : into)
            if (value(kept) == value(id))
                return void(kept = id);
        into.push_back(id);
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t action = modifier(found[i]).action;
        keep(action == ModifierRule::kImportant ? important
             : action == ModifierRule::kBlock   ? add
                                                : remove,
             found[i]);
    }
    if (important.empty() && add.empty())
        return 0;
    const auto without = [&](RuleIds &from, std::string_view v) {
        from.count = std::size_t(std::remove_if(from.begin(), from.end(),
                                                [&](std::uint32_t id) { return value(id) == v; }) -
                                 from.begin());
    };
    for (const std::uint32_t id : important) {
        without(add, value(id));
        without(remove, value(id));
    }
    const auto exceptsAll = [&](std::uint32_t id) { return value(id).empty(); };
    if (std::none_of(remove.begin(), remove.end(), exceptsAll)) {
        RuleIds used;
        for (const std::uint32_t id : remove) {
            const std::size_t before = add.count;
            without(add, value(id));
            if (add.count != before)
                used.push_back(id);
        }
        remove = used;
    } else if (!add.empty()) {
        const std::uint32_t all = *std::find_if(remove.begin(), remove.end(), exceptsAll);
        add.count = 0;
        remove.count = 0;
        remove.push_back(all);
    } else {
        remove.count = 0;
    }
    std::size_t n = 0;
    for (const auto *group : {&add, &important, &remove})
        for (const std::uint32_t id : *group)
            if (n < most)
                out[n++] = id;
    return n;
}

bool FilterEngine::matches(const CompiledRule &f, Request &r, std::size_t at) const {
    // The budget counts about a nanosecond a unit: a rule tried costs some
    // tens, an expression run some microseconds and its text.
    r.budget.charge(64);
    if (!(f.kinds & r.kind))
        return false;
    const bool regex = f.flags & kRegex;
    if (regex) {
        const RegexRule &re = regexRules_[f.regex];
        if (r.original.size() < re.shortest)
            return false;
        if (re.runLength) {
            r.budget.charge(r.url.size() / 4);
            if (!holdsRun(r.url, re.runClass, re.runLength))
                return false;
        }
        if (re.requiredLength &&
            !findText(r.url, 0, std::string_view(pool_.data() + re.requiredText, re.requiredLength),
                      r.budget))
            return false;
        for (std::string_view others(pool_.data() + re.otherTexts, re.otherLength);
             !others.empty();) {
            const std::size_t end = others.find('\n');
            if (!findText(r.url, 0, others.substr(0, end), r.budget))
                return false;
            others.remove_prefix(end + 1);
        }
    } else {
        const PatternAnchors anchors{(f.flags & kAnchorLeft) != 0, (f.flags & kAnchorHost) != 0,
                                     (f.flags & kAnchorRight) != 0};
        const std::string_view pattern(pool_.data() + f.pattern, f.patternLength);
        if (!patternMatches(pattern, anchors, r.url, r.host, at, r.budget))
            return false;
    }
    if ((f.party & kAnyParty) != kAnyParty && !(f.party & partyOf(r, suffixes_)))
        return false;
    if ((f.party & (kSameHost | kOtherHost)) &&
        !(f.party & (r.hostName() == r.pageHost ? kSameHost : kOtherHost)))
        return false;
    if (f.methods && !(f.methods & r.method))
        return false;
    if (f.domainCount && !domainsMatch(f, r))
        return false;
    if (f.targetCount && !targetsMatch(f, r))
        return false;
    if (!regex)
        return true;
    // An expression runs in time linear in the address's length.
    r.budget.charge(r.original.size() + 2000);
    const re2::RE2 *re = regexes_[f.regex].get();
    return re && !r.budget.spent() &&
           re2::RE2::PartialMatch(re2::StringPiece(r.original.data(), r.original.size()), *re);
}

namespace {

// Looks a host's names up in a rule's sorted names: false when one is
// excluded; `included` set when one is named.
bool lookUpNames(const DomainName *begin, const DomainName *end, const std::uint64_t *hashes,
                 std::size_t count, bool &included) {
    for (std::size_t i = 0; i < count; ++i) {
        const DomainName *d = std::lower_bound(
            begin, end, hashes[i], [](const DomainName &x, std::uint64_t h) { return x.hash < h; });
        for (; d != end && d->hash == hashes[i]; ++d) {
            if (d->negated)
                return false;
            included = true;
        }
    }
    return true;
}

}  // namespace

bool FilterEngine::targetsMatch(const CompiledRule &f, const Request &r) const {
    // The request's host, as domain= tests the page's: an excluded host
    // is excluded; a rule naming hosts applies to those only.
    const DomainName *begin = domains_.data() + f.targets;
    const DomainName *end = begin + f.targetCount;
    bool included = false;
    bool positive = false;
    bool entities = false;
    for (const DomainName *d = begin; d != end; ++d) {
        positive |= !d->negated;
        entities |= d->entity != 0;
    }
    const auto look = [&](const std::uint64_t *hashes, std::size_t count) {
        return lookUpNames(begin, end, hashes, count, included);
    };
    if (!look(r.hostHashes, r.hostCount))
        return false;
    if (entities) {
        std::uint64_t names[kMaxLabels];
        if (!look(names, suffixes_.entityHashes(r.hostName(), names, kMaxLabels)))
            return false;
    }
    return included || !positive;
}

bool FilterEngine::domainsMatch(const CompiledRule &f, Request &r) const {
    const DomainName *begin = domains_.data() + f.domains;
    const DomainName *end = begin + f.domainCount;
    // A page the rule excludes is excluded however general the exclusion;
    // otherwise any listed name of the page's host includes it.
    bool included = false;
    const auto look = [&](const std::uint64_t *hashes, std::size_t count) {
        return lookUpNames(begin, end, hashes, count, included);
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
