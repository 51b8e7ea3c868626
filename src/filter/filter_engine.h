#pragma once

#include "filter/public_suffix.h"
#include "filter/rule_parser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QRegularExpression;
class QUrl;

namespace quillow::filter {

// What a list cost and what of it is applied.
struct FilterStats {
    std::size_t networkRules = 0;
    std::size_t cosmeticRules = 0;
    std::size_t unsupported = 0;  // understood, but beyond refusing and hiding
    std::size_t invalid = 0;      // not a rule this engine can read
    std::size_t overLimit = 0;    // past the bounds kept against hostile lists
};

// Bounds against a hostile list: what any number of lists may cost together.
struct FilterLimits {
    std::size_t maxNetworkRules = 400000;
    std::size_t maxCosmeticRules = 200000;
    std::size_t maxRegexRules = 1000;
    std::size_t maxRegexLength = 1024;
    std::size_t maxDomainsPerRule = 2000;
};

// The rules of EasyList-style lists. Network rules are indexed for deciding
// a request in about a microsecond: by the request's host, by a whole word
// of its address, by a site a rule's domain= names, or (for the few rules
// with none of these) by trying each. Element-hiding rules are kept as the
// page script reads them.
class FilterEngine {
public:
    ~FilterEngine();
    FilterEngine(const FilterEngine &) = delete;
    FilterEngine &operator=(const FilterEngine &) = delete;

    static std::unique_ptr<FilterEngine> build(const std::vector<std::string_view> &lists,
                                               PublicSuffixList suffixes,
                                               const FilterLimits &limits = FilterLimits());

    // Whether a request for `url` made by a page at `pageUrl` is refused.
    // Both are encoded addresses ("https://host/path?query"). Thread-safe;
    // allocates nothing for addresses under 4 KiB.
    bool blocks(std::string_view url, std::string_view pageUrl, RequestKind kind) const;
    // The same for the web engine's addresses: the request's and its page's.
    bool blocks(const QUrl &url, const QUrl &page, RequestKind kind) const;

    const FilterStats &stats() const { return stats_; }
    std::size_t networkRuleCount() const;
    const PublicSuffixList &suffixes() const { return suffixes_; }
    // The element-hiding rules for the page script, as JSON: "g" the
    // selectors for every site, "s" those per host, "x" the exceptions per
    // host, "o" the hosts where hiding is off (1: generic rules, 2: all).
    const std::string &cosmeticJson() const { return cosmeticJson_; }

    // The compiled index, for the cache; `source` names what it was built
    // from, and a cache made from anything else is not read.
    std::string serialize(std::string_view source) const;
    static std::unique_ptr<FilterEngine> deserialize(std::string_view data,
                                                     std::string_view source);

    struct Filter;
    struct Domain;
    struct Table;
    struct Index;
    struct Request;

private:
    FilterEngine();
    static void prepare(std::string_view original, std::string &lowerBuffer, Request &request,
                        const Table *early);
    bool decide(Request &request) const;
    bool anyMatch(const Index &index, Request &request) const;
    bool matches(const Filter &filter, Request &request, std::size_t at) const;
    bool domainsMatch(const Filter &filter, Request &request) const;
    bool patternMatches(const Filter &filter, const Request &request, std::size_t at) const;
    void compileRegexes();

    PublicSuffixList suffixes_;
    std::vector<Filter> filters_;
    std::vector<Domain> domains_;
    std::string pool_;
    std::unique_ptr<Index> important_;
    std::unique_ptr<Index> blocking_;
    std::unique_ptr<Index> exceptions_;
    std::vector<std::unique_ptr<QRegularExpression>> regexes_;
    std::string cosmeticJson_;
    FilterStats stats_;
};

}  // namespace quillow::filter
