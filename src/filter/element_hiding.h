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
    // What the texts kept are: selectors, or scriptlets' arguments (a
    // JSON array, "!" before it when from a list not trusted with every
    // scriptlet), kept by site in the same way.
    enum class Texts { Selectors, Scriptlets };
    explicit ElementHiding(Texts texts = Texts::Selectors) : texts_(texts) {}

    // `switches`: the sites whose exceptions turn hiding off (kGenericHide,
    // kElementHide), by host.
    // `off`: more sites by hash, with 1 or 2 as switches give them.
    void build(const std::vector<CosmeticRule> &rules,
               const std::map<std::string, std::uint8_t> &switches,
               const std::vector<std::pair<std::uint64_t, std::uint32_t>> &off = {});

    std::size_t selectorCount() const { return selectors_.size(); }

    // What a document at `host` is sent first, as JSON:
    // {"off":N,"s":[...],"e":[...]} with its site's own selectors and,
    // unless generic hiding is off there (N 1), those for every site that
    // no class or id names; N 2: hiding is off there; "l", when there are
    // any, those of them that start by naming a link's address; "p", when
    // there are any, its procedural selectors. At most about `limit` bytes.
    std::string siteData(std::string_view host, const PublicSuffixList &suffixes,
                         std::size_t limit) const;
    // The texts for `host`'s own site less its exceptions, in no set
    // order, each with the first rule that gave it (scriptlets only);
    // none when its switches turn them off. `exceptions`, when given, gets
    // the site's exceptions' texts.
    struct SiteText {
        std::string_view text;
        RuleRef rule;
    };
    std::vector<SiteText> siteTexts(std::string_view host, const PublicSuffixList &suffixes,
                                    std::vector<std::string_view> *exceptions = nullptr) const;
    // The selectors for every site that the classes and ids a document
    // holds name first (".name" and "#name", separated by spaces), less
    // the site's exceptions, as JSON: {"s":[...]}.
    std::string genericData(std::string_view host, const PublicSuffixList &suffixes,
                            std::string_view names, std::size_t limit) const;

    // Which ".class" and "#id" names may have selectors of their own, as
    // a bit filter the page's script asks before it sends a name: never
    // wrong about a name that has (names with other than ASCII are always
    // sent), wrong about one in some thousands that has not. Empty when
    // the lists hold nothing to hide.
    // Bit b is bit b % 32 of word b / 32.
    const FlatArray<std::uint32_t> &nameFilter() const { return nameBits_; }
    // Which sites have data of their own (selectors, exceptions, hiding
    // turned off), as a bit filter of their keys (siteFilterHash) the
    // script asks before it asks for its site: a document whose site has
    // none takes what every site is sent without asking. A power of two
    // bits, laid out as nameFilter(); empty when no site has data.
    const FlatArray<std::uint32_t> &siteFilter() const { return siteBits_; }

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
    std::vector<std::uint32_t> hiddenAt(const SiteKeys &site) const;  // the site's own
    std::vector<std::uint32_t> exceptedAt(const SiteKeys &site) const;
    // `markLength`: characters each text starts with that the page is not sent.
    void appendSelectors(std::string &out, const char *key, std::vector<std::uint32_t> &ids,
                         const std::vector<std::uint32_t> &excepted, std::size_t limit,
                         std::size_t markLength = 0) const;
    bool valid() const;

    Texts texts_;
    FlatArray<char> pool_;
    FlatArray<Text> selectors_;
    FlatArray<RuleRef> rules_;           // scriptlets: each text's first rule
    RuleTable hide_;                     // a site's hash: the selectors for it
    RuleTable keep_;                     // a site's hash: the selectors it is excepted from
    RuleTable off_;                      // a site's hash: 1 (generic hiding off) or 2 (all off)
    RuleTable generic_;                  // a class's or id's hash: the selectors it names first
    FlatArray<std::uint32_t> unkeyed_;   // selectors for every site no class or id names
    FlatArray<std::uint32_t> nameBits_;  // the names of generic_, as nameFilter() says
    FlatArray<std::uint32_t> siteBits_;  // the sites of hide_, keep_ and off_
};

// The places a bit filter of `mask` + 1 bits (a power of two) sets for a
// key's 32-bit hash: kFilterProbes of them, double hashing (the page's
// script works them out the same way).
constexpr int kFilterProbes = 6;
template <typename F>
void forEachFilterBit(std::uint32_t h, std::uint32_t mask, F &&f) {
    const std::uint32_t step = ((h * 0x9e3779b1u) >> 15) | 1u;
    for (int k = 0; k < kFilterProbes; ++k)
        f((h + static_cast<std::uint32_t>(k) * step) & mask);
}

// The bits nameFilter() sets for a name: among kNameFilterBits, from
// FNV-1a over its characters.
constexpr std::uint32_t kNameFilterBits = 1u << 18;
template <typename F>
void forEachNameFilterBit(std::string_view name, F &&f) {
    std::uint32_t h = 0x811c9dc5u;
    for (const char c : name)
        h = (h ^ static_cast<unsigned char>(c)) * 0x01000193u;
    forEachFilterBit(h, kNameFilterBits - 1, f);
}

// A site key's hash for siteFilter(): its low 32 bits, which the script
// works out with 32-bit arithmetic alone (FNV's product keeps them apart
// from the high ones), mixed.
constexpr std::uint32_t siteFilterHash(std::uint64_t key) {
    std::uint32_t x = static_cast<std::uint32_t>(key);
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

}  // namespace quillow::filter
