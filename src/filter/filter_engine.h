#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/element_hiding.h"
#include "filter/flat_array.h"
#include "filter/network_index.h"
#include "filter/public_suffix.h"
#include "filter/redirect_resources.h"
#include "filter/request_kind.h"
#include "filter/rule_parser.h"
#include "filter/verdict.h"

class QUrl;

namespace re2 {
class RE2;
}

namespace quillow::filter {

class CacheBytes;
struct Request;

// What the lists held and what of it is applied.
struct FilterStats {
    std::size_t networkRules = 0;
    std::size_t cosmeticRules = 0;
    std::size_t scriptletRules = 0;  // site-specific and exceptions
    std::size_t unsupported = 0;     // understood, but beyond refusing and hiding
    std::size_t invalid = 0;         // not a rule this engine can read
    std::size_t overLimit = 0;       // past the bounds kept against hostile lists
    // The unsupported, by why.
    std::array<std::size_t, kSkipReasonCount> skipped{};
};

// Bounds against a hostile list: what any number of lists may cost together.
struct FilterLimits {
    std::size_t maxNetworkRules = 400000;
    std::size_t maxCosmeticRules = 200000;
    std::size_t maxRegexRules = 1000;
    std::size_t maxRegexLength = 1024;
    std::size_t maxDomainsPerRule = 2000;  // at most 65,535
};

// The rules of EasyList-style lists, compiled. Network rules are indexed
// for deciding a request in about a microsecond: by the request's host, by
// a whole word of its address, by a site a rule's domain= names, or (for
// the few rules with none of these) by trying each. Element-hiding rules
// are kept by the sites they apply to.
class FilterEngine {
public:
    ~FilterEngine();
    FilterEngine(const FilterEngine &) = delete;
    FilterEngine &operator=(const FilterEngine &) = delete;

    // Rules name their list by its place in `lists`; `resources` are the
    // neutral resources a redirect may name. The first `trustedLists` may
    // use the scriptlets that need trust.
    static std::unique_ptr<FilterEngine> build(const std::vector<std::string_view> &lists,
                                               PublicSuffixList suffixes,
                                               const FilterLimits &limits = FilterLimits(),
                                               const std::vector<ResourceName> &resources = {},
                                               std::size_t trustedLists = 0);

    // What the lists say of a request for `url` made by a page at `pageUrl`:
    // encoded addresses ("https://host/path?query"); `method` is its
    // MethodBit, 0 when not known. Thread-safe; allocates nothing for
    // addresses under 4 KiB but to clean one.
    Verdict decide(std::string_view url, std::string_view pageUrl, RequestKind kind,
                   std::uint8_t method = 0) const;
    // The same for the web engine's addresses: the request's and its page's.
    Verdict decide(const QUrl &url, const QUrl &page, RequestKind kind,
                   std::uint8_t method = 0) const;

    const FilterStats &stats() const { return stats_; }
    // Requests let pass because deciding them took too long.
    std::uint64_t overBudgetCount() const { return overBudget_.load(std::memory_order_relaxed); }
    const PublicSuffixList &suffixes() const { return suffixes_; }
    const ElementHiding &elementHiding() const { return elementHiding_; }
    // The scriptlet rules, by site; each text the scriptlet's arguments.
    const ElementHiding &scriptlets() const { return scriptlets_; }

    // The compiled lists, for the cache; `source` names what they were
    // built from, and a cache made from anything else is not read. Read
    // back, the engine reads its tables where they lie in `data`.
    std::string serialize(std::string_view source) const;
    static std::unique_ptr<FilterEngine> deserialize(std::shared_ptr<const CacheBytes> data,
                                                     std::string_view source);
    // The same from a copy of the bytes.
    static std::unique_ptr<FilterEngine> deserialize(std::string_view data,
                                                     std::string_view source);

private:
    struct ParsedLists;
    struct Compiled;
    FilterEngine();
    void compileNetworkRules(ParsedLists &parsed);
    // The lists' expressions, compiled once they are read: reused, not
    // compiled again, where `parsed` holds them.
    void compileRegexes(bool fromLists = false, ParsedLists *parsed = nullptr);
    void compileParamRegexes();
    void findNeedles();
    bool validAfterReading() const;

    Verdict decide(Request &request) const;
    template <typename Found>
    void forEachMatch(const RuleIndex &index, Request &request, Found &&found) const;
    std::uint32_t firstMatch(const RuleIndex &index, Request &request) const;
    bool matches(const CompiledRule &rule, Request &request, std::size_t at) const;
    bool domainsMatch(const CompiledRule &rule, Request &request) const;
    bool targetsMatch(const CompiledRule &rule, const Request &request) const;
    std::size_t matchingModifiers(const RuleIndex &index, Request &request, std::uint32_t *out,
                                  std::size_t most) const;
    void chooseRedirect(Request &request, Verdict &verdict) const;
    void removeParams(Request &request, Verdict &verdict) const;
    std::string_view modifierValue(const ModifierRule &m) const {
        return {pool_.data() + m.value, m.length};
    }
    bool hasResource(std::string_view name, bool forXhr = false) const;
    RuleRef refOf(std::uint32_t id) const { return {rules_[id].list, rules_[id].line}; }

    std::shared_ptr<const CacheBytes> cache_;  // where the tables lie, when read back
    PublicSuffixList suffixes_;
    FlatArray<CompiledRule> rules_;
    FlatArray<RegexRule> regexRules_;
    FlatArray<DomainName> domains_;
    FlatArray<char> pool_;  // patterns and texts
    RuleIndex important_;
    RuleIndex blocking_;
    RuleIndex exceptions_;
    FlatArray<ModifierRule> modifiers_;
    RuleIndex redirects_;                    // $redirect and $redirect-rule, blocking and excepting
    RuleIndex removeParams_;                 // $removeparam, likewise
    FlatArray<std::uint64_t> resources_;     // the neutral resources' names, hashed and sorted
    FlatArray<std::uint64_t> xhrResources_;  // those a script's own request may get
    std::vector<std::unique_ptr<re2::RE2>> regexes_;
    std::vector<std::unique_ptr<re2::RE2>> paramRegexes_;  // by the modifiers' places
    ElementHiding elementHiding_;
    ElementHiding scriptlets_{ElementHiding::Texts::Scriptlets};
    FilterStats stats_;
    mutable std::atomic<std::uint64_t> overBudget_{0};
};

}  // namespace quillow::filter
