#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filter/rule_parser.h"

namespace quillow::filter {

class CacheReader;
class CacheWriter;

// The lists' element-hiding rules by the sites they apply to: each
// selector and each site's name kept once.
class ElementHiding {
public:
    // `switches`: the sites whose exceptions turn hiding off (kGenericHide,
    // kElementHide), by host.
    void build(const std::vector<CosmeticRule> &rules,
               const std::map<std::string, std::uint8_t> &switches);

    std::size_t selectorCount() const { return selectors_.size(); }
    // The data the page script reads, as JSON: "g" the selectors for every
    // site, "s" those per host, "x" the exceptions per host, "o" the hosts
    // where hiding is off (1: generic rules, 2: all).
    std::string json() const;

    void write(CacheWriter &out) const;
    // Read back from the cache, and checked as a list's rules are.
    bool read(CacheReader &in);

private:
    struct Text {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct Site {
        Text name;
        std::uint32_t hideFirst = 0;
        std::uint32_t hideCount = 0;
        std::uint32_t keepFirst = 0;
        std::uint32_t keepCount = 0;
        std::uint32_t off = 0;
    };

    std::string_view text(Text t) const {
        return std::string_view(pool_).substr(t.offset, t.length);
    }
    Text keep(std::string_view s);
    bool valid() const;

    std::string pool_;
    std::vector<Text> selectors_;
    std::vector<std::uint32_t> generic_;  // selectors for every site
    std::vector<Site> sites_;             // by name
    std::vector<std::uint32_t> ids_;      // the sites' runs of selectors
};

}  // namespace quillow::filter
