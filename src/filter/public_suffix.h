#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "filter/rule_table.h"

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
    // The same from the host's suffix hashes (hostSuffixHashes), asked for
    // together so their cache misses overlap.
    std::size_t suffixLabels(const std::uint64_t *hashes, std::size_t count) const;
    // Starts fetching what suffixLabels will read of those hashes.
    void prefetch(const std::uint64_t *hashes, std::size_t count) const;
    // The registrable domain: the public suffix and one label more; the
    // host itself when it is a public suffix or an IP address.
    std::string_view registrableDomain(std::string_view host) const;
    // The hashes of the names lists give `host` for any public suffix
    // ("google.*" for "www.google.co.uk"), shortest first; at most `max`.
    std::size_t entityHashes(std::string_view host, std::uint64_t *out, std::size_t max) const;
    // Both from a suffix already looked up, so a request looks up its
    // page's suffix once (the first for a host that is no IP address).
    static std::string_view registrableDomain(std::string_view host, std::size_t suffixLabels);
    static std::size_t entityHashes(std::string_view host, std::size_t suffixLabels,
                                    std::uint64_t *out, std::size_t max);

    // The table, for the compiled cache; one read back is checked.
    const RuleTable &table() const { return table_; }
    static bool fromTable(RuleTable table, PublicSuffixList &list);

private:
    std::uint8_t lookup(std::uint64_t key) const;

    RuleTable table_;  // suffix hash to its kinds (normal, wildcard, exception)
    std::size_t count_ = 0;
};

bool isIpAddress(std::string_view host);

}  // namespace quillow::filter
