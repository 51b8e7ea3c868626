#include "filter/element_hiding.h"

#include <algorithm>
#include <initializer_list>
#include <unordered_map>
#include <unordered_set>

#include "filter/ascii.h"
#include "filter/cache_format.h"
#include "filter/host_hash.h"
#include "filter/public_suffix.h"

namespace quillow::filter {

namespace {

using Entries = std::vector<std::pair<std::uint64_t, std::uint32_t>>;

// Whether a selector starts by naming a link's address, eight characters
// or more of it ('a[href^="https://ad.example/"]'): a page's script looks
// those up among its links instead of putting them in a sheet.
bool namesLinkAddress(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] >= 'a' && s[i] <= 'z')
        ++i;
    if (s.substr(i, 5) != "[href")
        return false;
    i += 5;
    if (i < s.size() && (s[i] == '*' || s[i] == '^'))
        ++i;
    if (s.substr(i, 2) != "=\"")
        return false;
    i += 2;
    const std::size_t from = i;
    while (i < s.size() && s[i] != '"' && s[i] != '\\')
        ++i;
    return i - from >= 8 && s.substr(i, 2) == "\"]";
}

bool isNameCharacter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c >= 0x80;
}

// The class or id a selector names first (".ad-box > img" names ".ad-box"),
// or empty when it starts otherwise.
std::string_view leadingName(std::string_view selector) {
    if (selector.size() < 2 || (selector[0] != '.' && selector[0] != '#'))
        return {};
    std::size_t end = 1;
    while (end < selector.size() && isNameCharacter(static_cast<unsigned char>(selector[end])))
        ++end;
    // An escaped character ("#a\\:b") is not read here: such a selector is
    // sent to every site.
    if (end == 1 || (end < selector.size() && selector[end] == '\\'))
        return {};
    return selector.substr(0, end);
}

std::uint64_t nameHash(std::string_view name) {
    return hostHash(name);
}

void sortUnique(std::vector<std::uint32_t> &ids) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

// Sets, in a bit filter's words, each bit it is handed.
auto setterOf(std::vector<std::uint32_t> &words) {
    return [&words](std::uint32_t bit) { words[bit / 32] |= 1u << (bit % 32); };
}

// About 16 bits a site (one document in some hundreds whose site has no
// data asks for it all the same), at most 64 KiB: a list naming more sites
// than that makes more documents ask, never a larger script.
constexpr std::uint32_t kMostSiteFilterBits = 1u << 19;

std::vector<std::uint32_t> siteFilterOf(std::initializer_list<const Entries *> tables) {
    std::vector<std::uint64_t> keys;
    for (const Entries *t : tables)
        for (const auto &e : *t)
            keys.push_back(e.first);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (keys.empty())
        return {};
    std::uint32_t bits = 1024;
    while (bits < kMostSiteFilterBits && bits < keys.size() * 16)
        bits *= 2;
    std::vector<std::uint32_t> words(bits / 32, 0);
    for (const std::uint64_t key : keys)
        forEachFilterBit(siteFilterHash(key), bits - 1, setterOf(words));
    return words;
}

}  // namespace

void ElementHiding::build(const std::vector<CosmeticRule> &rules,
                          const std::map<std::string, std::uint8_t> &switches,
                          const Entries &moreOff) {
    *this = ElementHiding(texts_);
    std::string pool;
    std::vector<Text> selectors;
    std::vector<RuleRef> firstRules;
    std::vector<std::uint32_t> unkeyed;
    std::unordered_map<std::string, std::uint32_t> idOf;
    std::unordered_set<std::uint32_t> everywhereExcepted;
    std::vector<std::uint32_t> generic;
    Entries hide, keep, off = moreOff, byName;
    std::vector<std::uint32_t> nameBits;
    for (const CosmeticRule &c : rules) {
        const auto [it, added] =
            idOf.emplace(c.selector, static_cast<std::uint32_t>(selectors.size()));
        if (added) {
            selectors.push_back({static_cast<std::uint32_t>(pool.size()),
                                 static_cast<std::uint32_t>(c.selector.size())});
            if (texts_ == Texts::Scriptlets)
                firstRules.push_back(c.ref);
            pool += c.selector;
        }
        const std::uint32_t id = it->second;
        if (c.exception && c.domains.empty())
            everywhereExcepted.insert(id);
        bool positive = false;
        for (const DomainEntry &d : c.domains) {
            // An exception's excluded sites say nothing.
            if (!c.exception || !d.negated)
                (c.exception || d.negated ? keep : hide).emplace_back(d.hash, id);
            positive |= !d.negated;
        }
        if (!c.exception && !positive)
            generic.push_back(id);
    }
    const auto excepted = [&](std::uint32_t id) { return everywhereExcepted.count(id) > 0; };
    hide.erase(
        std::remove_if(hide.begin(), hide.end(), [&](auto &e) { return excepted(e.second); }),
        hide.end());
    sortUnique(generic);
    for (const std::uint32_t id : generic) {
        if (excepted(id))
            continue;
        const Text t = selectors[id];
        const std::string_view name =
            leadingName(std::string_view(pool).substr(t.offset, t.length));
        if (name.empty()) {
            unkeyed.push_back(id);
            continue;
        }
        byName.emplace_back(nameHash(name), id);
        if (nameBits.empty())
            nameBits.assign(kNameFilterBits / 32, 0);
        if (std::all_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            forEachNameFilterBit(name, setterOf(nameBits));
    }
    for (const auto &[site, bits] : switches)
        off.emplace_back(hostHash(site), (bits & kElementHide) ? 2 : 1);
    siteBits_ = siteFilterOf({&hide, &keep, &off});
    pool_ = std::vector<char>(pool.begin(), pool.end());
    selectors_ = std::move(selectors);
    rules_ = std::move(firstRules);
    unkeyed_ = std::move(unkeyed);
    nameBits_ = std::move(nameBits);
    hide_.build(hide);
    keep_.build(keep);
    off_.build(off);
    generic_.build(byName);
}

ElementHiding::SiteKeys ElementHiding::siteKeys(std::string_view host,
                                                const PublicSuffixList &suffixes) const {
    SiteKeys site;
    site.count = hostSuffixHashes(host, site.keys, 32);
    site.count += suffixes.entityHashes(host, site.keys + site.count, 32);
    return site;
}

std::uint32_t ElementHiding::offAt(const SiteKeys &site) const {
    std::uint32_t off = 0;
    for (std::size_t i = 0; i < site.count; ++i) {
        std::uint32_t n = 0;
        if (const std::uint32_t *value = off_.find(site.keys[i], n))
            off = std::max(off, *value);
    }
    return off;
}

std::vector<std::uint32_t> ElementHiding::hiddenAt(const SiteKeys &site) const {
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < site.count; ++i) {
        std::uint32_t n = 0;
        if (const std::uint32_t *run = hide_.find(site.keys[i], n))
            ids.insert(ids.end(), run, run + n);
    }
    return ids;
}

std::vector<std::uint32_t> ElementHiding::exceptedAt(const SiteKeys &site) const {
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < site.count; ++i) {
        std::uint32_t n = 0;
        if (const std::uint32_t *run = keep_.find(site.keys[i], n))
            ids.insert(ids.end(), run, run + n);
    }
    sortUnique(ids);
    return ids;
}

void ElementHiding::appendSelectors(std::string &out, const char *key,
                                    std::vector<std::uint32_t> &ids,
                                    const std::vector<std::uint32_t> &excepted, std::size_t limit,
                                    std::size_t markLength) const {
    sortUnique(ids);
    out += '"';
    out += key;
    out += "\":[";
    bool first = true;
    for (const std::uint32_t id : ids) {
        if (std::binary_search(excepted.begin(), excepted.end(), id))
            continue;
        if (out.size() + selectors_[id].length + 8 > limit)
            break;  // what no document needs: a hostile list's
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, text(selectors_[id]).substr(markLength));
    }
    out += ']';
}

std::string ElementHiding::siteData(std::string_view host, const PublicSuffixList &suffixes,
                                    std::size_t limit) const {
    const SiteKeys site = siteKeys(host, suffixes);
    const std::uint32_t off = offAt(site);
    std::string out = "{\"off\":" + std::to_string(off) + ',';
    std::vector<std::uint32_t> ids = off < 2 ? hiddenAt(site) : std::vector<std::uint32_t>();
    std::vector<std::uint32_t> everywhere;
    if (off < 1)
        everywhere.assign(unkeyed_.begin(), unkeyed_.end());
    const std::vector<std::uint32_t> excepted = exceptedAt(site);
    // Procedural selectors go apart, for the script to work out.
    std::vector<std::uint32_t> procedural;
    const auto marked = [this](std::uint32_t id) {
        return text(selectors_[id]).front() == kProceduralMark;
    };
    std::copy_if(ids.begin(), ids.end(), std::back_inserter(procedural), [&](std::uint32_t id) {
        return marked(id) && !std::binary_search(excepted.begin(), excepted.end(), id);
    });
    ids.erase(std::remove_if(ids.begin(), ids.end(), marked), ids.end());
    appendSelectors(out, "s", ids, excepted, limit);
    out += ',';
    std::vector<std::uint32_t> links;
    const auto link = [this](std::uint32_t id) { return namesLinkAddress(text(selectors_[id])); };
    std::copy_if(everywhere.begin(), everywhere.end(), std::back_inserter(links), link);
    everywhere.erase(std::remove_if(everywhere.begin(), everywhere.end(), link), everywhere.end());
    appendSelectors(out, "e", everywhere, excepted, limit);
    if (!links.empty()) {
        out += ',';
        appendSelectors(out, "l", links, excepted, limit);
    }
    if (!procedural.empty()) {
        out += ',';
        appendSelectors(out, "p", procedural, excepted, limit, 1);
    }
    out += '}';
    return out;
}

std::vector<ElementHiding::SiteText> ElementHiding::siteTexts(
    std::string_view host, const PublicSuffixList &suffixes,
    std::vector<std::string_view> *exceptions) const {
    const SiteKeys site = siteKeys(host, suffixes);
    std::vector<std::uint32_t> ids =
        offAt(site) < 2 ? hiddenAt(site) : std::vector<std::uint32_t>();
    sortUnique(ids);
    const std::vector<std::uint32_t> excepted = ids.empty() ? ids : exceptedAt(site);
    if (exceptions)
        for (const std::uint32_t id : excepted)
            exceptions->push_back(text(selectors_[id]));
    std::vector<SiteText> out;
    for (const std::uint32_t id : ids)
        if (!std::binary_search(excepted.begin(), excepted.end(), id))
            out.push_back({text(selectors_[id]), id < rules_.size() ? rules_[id] : RuleRef()});
    return out;
}

std::string ElementHiding::genericData(std::string_view host, const PublicSuffixList &suffixes,
                                       std::string_view names, std::size_t limit) const {
    const SiteKeys site = siteKeys(host, suffixes);
    std::string out = "{";
    std::vector<std::uint32_t> ids;
    if (offAt(site) == 0) {
        for (std::size_t start = 0; start < names.size();) {
            const std::size_t end = std::min(names.find(' ', start), names.size());
            std::uint32_t n = 0;
            const std::string_view name = names.substr(start, end - start);
            if (!name.empty() && generic_.mayHold(nameHash(name)))
                if (const std::uint32_t *run = generic_.find(nameHash(name), n))
                    ids.insert(ids.end(), run, run + n);
            start = end + 1;
        }
    }
    appendSelectors(out, "s", ids, ids.empty() ? ids : exceptedAt(site), limit);
    out += '}';
    return out;
}

void ElementHiding::write(CacheWriter &out) const {
    out.array(pool_);
    out.array(selectors_);
    out.array(rules_);
    for (const RuleTable *t : {&hide_, &keep_, &off_, &generic_})
        writeTable(out, *t);
    out.array(unkeyed_);
    out.array(nameBits_);
    out.array(siteBits_);
}

bool ElementHiding::read(CacheReader &in) {
    in.array(pool_);
    in.array(selectors_);
    in.array(rules_);
    for (RuleTable *t : {&hide_, &keep_, &off_, &generic_})
        readTable(in, *t);
    in.array(unkeyed_);
    in.array(nameBits_);
    in.array(siteBits_);
    return in.ok() && valid();
}

bool ElementHiding::valid() const {
    const std::size_t count = selectors_.size();
    for (const Text &t : selectors_)
        if (std::uint64_t(t.offset) + t.length > pool_.size() ||
            (texts_ == Texts::Selectors
                 ? !isPlainSelector(text(t)) &&
                       !(text(t).size() > 1 && text(t).front() == kProceduralMark &&
                         isProceduralSelector(text(t).substr(1)))
                 : text(t).find('[') > 1 || text(t).back() != ']'))
            return false;
    for (const std::uint32_t id : unkeyed_)
        if (id >= count)
            return false;
    if (rules_.size() != (texts_ == Texts::Scriptlets ? count : 0))
        return false;
    if (!nameBits_.empty() && nameBits_.size() != kNameFilterBits / 32)
        return false;
    const std::size_t siteWords = siteBits_.size();
    if (siteWords > kMostSiteFilterBits / 32 || (siteWords & (siteWords - 1)) != 0)
        return false;
    return hide_.valid(count) && keep_.valid(count) && off_.valid(3) && generic_.valid(count);
}

}  // namespace quillow::filter
