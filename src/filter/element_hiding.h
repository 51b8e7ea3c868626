#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filter/flat_array.h"
#include "filter/rule_parser.h"
#include "filter/rule_table.h"

namespace quillow::filter {

class CacheReader;
class CacheWriter;
class PublicSuffixList;

// The lists' element-hiding rules, each selector kept once, found by the
// sites they apply to and, for rules that apply everywhere, by the class
// or id they name first: a document is sent only what can apply to it.
class ElementHiding {
public:
    // `switches`: the sites whose exceptions turn hiding off (kGenericHide,
    // kElementHide), by host.
    void build(const std::vector<CosmeticRule> &rules,
               const std::map<std::string, std::uint8_t> &switches);

    std::size_t selectorCount() const { return selectors_.size(); }

    // What a document at `host` is sent first, as JSON: {"off":N,"s":[...]}
    // with its site's own selectors and, unless generic hiding is off
    // there (N 1), those for every site that no class or id names; N 2:
    // hiding is off there. At most about `limit` bytes.
    std::string siteData(std::string_view host, const PublicSuffixList &suffixes,
                         std::size_t limit) const;
    // The selectors for every site that the classes and ids a document
    // holds name first (".name" and "#name", separated by spaces), less
    // the site's exceptions, as JSON: {"s":[...]}.
    std::string genericData(std::string_view host, const PublicSuffixList &suffixes,
                            std::string_view names, std::size_t limit) const;

    void write(CacheWriter &out) const;
    // Read back from the cache, and checked as a list's rules are.
    bool read(CacheReader &in);

private:
    struct Text {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct SiteKeys {
        std::uint64_t keys[64];
        std::size_t count = 0;
    };

    std::string_view text(Text t) const {
        return std::string_view(pool_.data(), pool_.size()).substr(t.offset, t.length);
    }
    SiteKeys siteKeys(std::string_view host, const PublicSuffixList &suffixes) const;
    std::uint32_t offAt(const SiteKeys &site) const;
    std::vector<std::uint32_t> exceptedAt(const SiteKeys &site) const;
    void appendSelectors(std::string &out, std::vector<std::uint32_t> &ids,
                         const std::vector<std::uint32_t> &excepted, std::size_t limit) const;
    bool valid() const;

    FlatArray<char> pool_;
    FlatArray<Text> selectors_;
    RuleTable hide_;                    // a site's hash: the selectors for it
    RuleTable keep_;                    // a site's hash: the selectors it is excepted from
    RuleTable off_;                     // a site's hash: 1 (generic hiding off) or 2 (all off)
    RuleTable generic_;                 // a class's or id's hash: the selectors it names first
    FlatArray<std::uint32_t> unkeyed_;  // selectors for every site no class or id names
};

}  // namespace quillow::filter
