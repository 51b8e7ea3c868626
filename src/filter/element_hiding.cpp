#include "filter/element_hiding.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "filter/cache_format.h"

namespace quillow::filter {

namespace {

void appendJsonString(std::string &out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

ElementHiding::Text ElementHiding::keep(std::string_view s) {
    const Text t{static_cast<std::uint32_t>(pool_.size()), static_cast<std::uint32_t>(s.size())};
    pool_ += s;
    return t;
}

void ElementHiding::build(const std::vector<CosmeticRule> &rules,
                          const std::map<std::string, std::uint8_t> &switches) {
    *this = ElementHiding();
    std::unordered_map<std::string, std::uint32_t> idOf;
    auto idFor = [&](const std::string &selector) {
        const auto [it, added] =
            idOf.emplace(selector, static_cast<std::uint32_t>(selectors_.size()));
        if (added)
            selectors_.push_back(keep(selector));
        return it->second;
    };
    std::set<std::uint32_t> everywhereExcepted;
    std::unordered_set<std::uint32_t> genericSeen;
    std::map<std::string, std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>>> bySite;
    for (const CosmeticRule &c : rules) {
        const std::uint32_t id = idFor(c.selector);
        bool positive = false;
        for (const DomainEntry &d : c.domains) {
            auto &[hide, keepHere] = bySite[d.name];
            if (!c.exception)
                (d.negated ? keepHere : hide).push_back(id);
            else if (!d.negated)
                keepHere.push_back(id);
            positive |= !d.negated;
        }
        if (c.exception && c.domains.empty())
            everywhereExcepted.insert(id);
        else if (!c.exception && !positive && genericSeen.insert(id).second)
            generic_.push_back(id);
    }
    for (const auto &[name, bits] : switches)
        bySite[name];
    generic_.erase(
        std::remove_if(generic_.begin(), generic_.end(),
                       [&](std::uint32_t id) { return everywhereExcepted.count(id) > 0; }),
        generic_.end());
    for (const auto &[name, lists] : bySite) {
        Site site;
        site.name = keep(name);
        site.hideFirst = static_cast<std::uint32_t>(ids_.size());
        for (const std::uint32_t id : lists.first)
            if (!everywhereExcepted.count(id))
                ids_.push_back(id);
        site.hideCount = static_cast<std::uint32_t>(ids_.size()) - site.hideFirst;
        site.keepFirst = static_cast<std::uint32_t>(ids_.size());
        ids_.insert(ids_.end(), lists.second.begin(), lists.second.end());
        site.keepCount = static_cast<std::uint32_t>(lists.second.size());
        const auto sw = switches.find(name);
        site.off = sw == switches.end() ? 0 : (sw->second & kElementHide) ? 2 : 1;
        sites_.push_back(site);
    }
}

std::string ElementHiding::json() const {
    std::string out = "{\"g\":[";
    for (std::size_t i = 0; i < generic_.size(); ++i) {
        if (i)
            out += ',';
        appendJsonString(out, text(selectors_[generic_[i]]));
    }
    out += ']';
    for (const bool hide : {true, false}) {
        out += hide ? ",\"s\":{" : ",\"x\":{";
        bool firstSite = true;
        for (const Site &site : sites_) {
            const std::uint32_t first = hide ? site.hideFirst : site.keepFirst;
            const std::uint32_t count = hide ? site.hideCount : site.keepCount;
            if (!count)
                continue;
            if (!firstSite)
                out += ',';
            firstSite = false;
            appendJsonString(out, text(site.name));
            out += ":[";
            for (std::uint32_t i = 0; i < count; ++i) {
                if (i)
                    out += ',';
                appendJsonString(out, text(selectors_[ids_[first + i]]));
            }
            out += ']';
        }
        out += '}';
    }
    out += ",\"o\":{";
    bool firstSite = true;
    for (const Site &site : sites_) {
        if (!site.off)
            continue;
        if (!firstSite)
            out += ',';
        firstSite = false;
        appendJsonString(out, text(site.name));
        out += ':';
        out += site.off == 2 ? '2' : '1';
    }
    return out + "}}";
}

void ElementHiding::write(CacheWriter &out) const {
    out.text(pool_);
    out.vector(selectors_);
    out.vector(generic_);
    out.vector(sites_);
    out.vector(ids_);
}

bool ElementHiding::read(CacheReader &in) {
    in.text(pool_);
    in.vector(selectors_);
    in.vector(generic_);
    in.vector(sites_);
    in.vector(ids_);
    return in.ok() && valid();
}

bool ElementHiding::valid() const {
    const auto inPool = [&](Text t) { return std::uint64_t(t.offset) + t.length <= pool_.size(); };
    const auto inIds = [&](std::uint32_t first, std::uint32_t count) {
        return std::uint64_t(first) + count <= ids_.size();
    };
    for (const Text &t : selectors_)
        if (!inPool(t) || !isPlainSelector(text(t)))
            return false;
    for (const Site &s : sites_)
        if (!inPool(s.name) || !inIds(s.hideFirst, s.hideCount) ||
            !inIds(s.keepFirst, s.keepCount) || s.off > 2)
            return false;
    for (const std::uint32_t id : generic_)
        if (id >= selectors_.size())
            return false;
    for (const std::uint32_t id : ids_)
        if (id >= selectors_.size())
            return false;
    return true;
}

}  // namespace quillow::filter
