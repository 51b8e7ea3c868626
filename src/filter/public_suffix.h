#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillow::filter {

// The public-suffix list (Debian's package `publicsuffix`), for telling a
// site's own requests from third parties: "www.example.co.uk" and
// "img.example.co.uk" share the registrable domain "example.co.uk".
class PublicSuffixList {
public:
    // Reads the list's text format; rules in Unicode are taken in their
    // ASCII form, as hosts arrive in addresses. Lines past the bounds of a
    // sane list are ignored.
    static PublicSuffixList fromText(std::string_view text);
    static const char *defaultPath() { return "/usr/share/publicsuffix/public_suffix_list.dat"; }

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }

    // How many labels at the end of `host` (lower case) form its public
    // suffix; at least 1 when the host has a label, as the list's "*" rule
    // says.
    std::size_t suffixLabels(std::string_view host) const;
    // The registrable domain: the public suffix and one label more; the
    // host itself when it is a public suffix or an IP address.
    std::string_view registrableDomain(std::string_view host) const;

    // The flat table, for the compiled cache.
    const std::vector<std::uint64_t> &keys() const { return keys_; }
    const std::vector<std::uint8_t> &kinds() const { return kinds_; }
    static PublicSuffixList fromTable(std::vector<std::uint64_t> keys,
                                      std::vector<std::uint8_t> kinds);

private:
    void insert(std::uint64_t key, std::uint8_t kind);
    std::uint8_t lookup(std::uint64_t key) const;

    void fillBits();

    std::vector<std::uint64_t> keys_;
    std::vector<std::uint8_t> kinds_;
    std::vector<std::uint64_t> bits_;  // one bit per rule, before the table
    std::size_t count_ = 0;
};

bool isIpAddress(std::string_view host);

}  // namespace quillow::filter
