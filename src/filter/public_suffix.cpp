#include "filter/public_suffix.h"

#include <QString>
#include <QUrl>

#include <unordered_map>

#include "filter/ascii.h"
#include "filter/host_hash.h"

namespace quillow::filter {

namespace {

enum SuffixKind : std::uint8_t { kNormal = 1, kWildcard = 2, kException = 4 };

constexpr std::size_t kMaxRules = 1 << 16;
constexpr std::size_t kMaxLabels = 32;

std::string_view firstWord(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    const std::size_t space = s.find_first_of(" \t\r");
    return space == std::string_view::npos ? s : s.substr(0, space);
}

bool isAscii(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

bool isIpAddress(std::string_view host) {
    if (host.find(':') != std::string_view::npos || (!host.empty() && host.front() == '['))
        return true;
    for (const char c : host)
        if (!((c >= '0' && c <= '9') || c == '.'))
            return false;
    return !host.empty();
}

std::uint8_t PublicSuffixList::lookup(std::uint64_t key) const {
    if (!table_.mayHold(key))
        return 0;
    std::uint32_t n = 0;
    const std::uint32_t *kinds = table_.find(key, n);
    return kinds ? static_cast<std::uint8_t>(*kinds) : 0;
}

PublicSuffixList PublicSuffixList::fromText(std::string_view text) {
    std::unordered_map<std::uint64_t, std::uint32_t> kinds;
    std::size_t start = 0;
    while (start < text.size() && kinds.size() < kMaxRules) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view rule = firstWord(text.substr(start, end - start));
        start = end + 1;
        if (rule.empty() || rule.substr(0, 2) == "//" || rule.size() > 253)
            continue;
        std::uint8_t kind = kNormal;
        if (rule.front() == '!') {
            kind = kException;
            rule.remove_prefix(1);
        } else if (rule.substr(0, 2) == "*.") {
            kind = kWildcard;
            rule.remove_prefix(2);
        }
        if (rule.empty())
            continue;
        if (isAscii(rule)) {
            kinds[hostHash(asciiLowered(rule))] |= kind;
        } else {
            const QByteArray ace = QUrl::toAce(QString::fromUtf8(rule.data(), int(rule.size())));
            if (!ace.isEmpty())
                kinds[hostHash(std::string_view(ace.constData(), std::size_t(ace.size())))] |= kind;
        }
    }
    std::vector<std::pair<std::uint64_t, std::uint32_t>> entries(kinds.begin(), kinds.end());
    PublicSuffixList list;
    list.table_.build(entries);
    list.count_ = entries.size();
    return list;
}

bool PublicSuffixList::fromTable(RuleTable table, PublicSuffixList &list) {
    if (!table.valid(8) || !table.ids.empty())
        return false;
    list.count_ = 0;
    for (const RuleTable::Slot &slot : table.table)
        list.count_ += slot.key != 0;
    list.table_ = std::move(table);
    return true;
}

std::size_t PublicSuffixList::suffixLabels(std::string_view host) const {
    std::uint64_t hashes[kMaxLabels];
    return suffixLabels(hashes, hostSuffixHashes(host, hashes, kMaxLabels));
}

void PublicSuffixList::prefetch(const std::uint64_t *hashes, std::size_t count) const {
    for (std::size_t k = 0; k < count; ++k) {
        table_.prefetchBit(hashes[k]);
        table_.prefetchSlot(hashes[k]);
    }
}

std::size_t PublicSuffixList::suffixLabels(const std::uint64_t *hashes, std::size_t labels) const {
    prefetch(hashes, labels);
    std::size_t suffix = labels ? 1 : 0;
    for (std::size_t k = 1; k <= labels; ++k) {
        const std::uint8_t kind = lookup(hashes[k - 1]);
        if (kind & kException)
            return k - 1;  // an exception beats every other rule
        if ((kind & kNormal) && k > suffix)
            suffix = k;
        if ((kind & kWildcard) && k + 1 <= labels && k + 1 > suffix)
            suffix = k + 1;
    }
    return suffix;
}

std::size_t PublicSuffixList::entityHashes(std::string_view host, std::uint64_t *out,
                                           std::size_t max) const {
    return entityHashes(host, suffixLabels(host), out, max);
}

std::size_t PublicSuffixList::entityHashes(std::string_view host, std::size_t labels,
                                           std::uint64_t *out, std::size_t max) {
    // The host without its public suffix, each of its suffixes then ".*".
    std::size_t cut = host.size();
    for (std::size_t seen = 0; seen < labels && cut > 0;) {
        if (host[--cut] == '.')
            ++seen;
    }
    const std::string_view name = host.substr(0, cut);
    std::size_t n = 0;
    std::uint64_t h = hashStep(hashStep(kHashSeed, '*'), '.');
    for (std::size_t i = name.size(); i-- > 0 && n < max;) {
        h = hashStep(h, static_cast<unsigned char>(name[i]));
        if (i == 0 || name[i - 1] == '.')
            out[n++] = h | 1;
    }
    return n;
}

std::string_view PublicSuffixList::registrableDomain(std::string_view host) const {
    if (host.empty() || isIpAddress(host))
        return host;
    return registrableDomain(host, suffixLabels(host));
}

std::string_view PublicSuffixList::registrableDomain(std::string_view host, std::size_t labels) {
    const std::size_t wanted = labels + 1;
    std::size_t seen = 0;
    for (std::size_t i = host.size(); i-- > 0;) {
        if (host[i] == '.' && ++seen == wanted)
            return host.substr(i + 1);
    }
    return host;
}

}  // namespace quillow::filter
