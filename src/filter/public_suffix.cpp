#include "filter/public_suffix.h"

#include "filter/host_hash.h"

#include <QString>
#include <QUrl>

#include <algorithm>

namespace quillow::filter {

namespace {

enum RuleKind : std::uint8_t { kNormal = 1, kWildcard = 2, kException = 4 };

constexpr std::size_t kMaxRules = 1 << 16;
constexpr std::size_t kMaxLabels = 32;

std::string_view trimmed(std::string_view s) {
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

void PublicSuffixList::insert(std::uint64_t key, std::uint8_t kind) {
    std::size_t mask = keys_.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        if (keys_[i] == key) {
            kinds_[i] |= kind;
            return;
        }
        if (keys_[i] == 0) {
            keys_[i] = key;
            kinds_[i] = kind;
            ++count_;
            return;
        }
    }
}

void PublicSuffixList::fillBits() {
    bits_.assign(std::max<std::size_t>(keys_.size() / 16, 1), 0);
    const std::uint64_t mask = bits_.size() * 64 - 1;
    for (const std::uint64_t key : keys_) {
        if (key) {
            const std::uint64_t bit = (key >> 32) & mask;
            bits_[bit >> 6] |= 1ull << (bit & 63);
        }
    }
}

std::uint8_t PublicSuffixList::lookup(std::uint64_t key) const {
    if (keys_.empty())
        return 0;
    const std::uint64_t bit = (key >> 32) & (bits_.size() * 64 - 1);
    if (!(bits_[bit >> 6] & (1ull << (bit & 63))))
        return 0;
    const std::size_t mask = keys_.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        if (keys_[i] == key)
            return kinds_[i];
        if (keys_[i] == 0)
            return 0;
    }
}

PublicSuffixList PublicSuffixList::fromText(std::string_view text) {
    PublicSuffixList all;
    all.keys_.assign(kMaxRules * 2, 0);
    all.kinds_.assign(kMaxRules * 2, 0);
    PublicSuffixList &list = all;
    std::size_t start = 0;
    while (start < text.size() && list.count_ < kMaxRules) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view rule = trimmed(text.substr(start, end - start));
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
            std::string lower(rule);
            for (char &c : lower)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            list.insert(hostHash(lower), kind);
        } else {
            const QByteArray ace = QUrl::toAce(QString::fromUtf8(rule.data(), int(rule.size())));
            if (!ace.isEmpty())
                list.insert(hostHash(std::string_view(ace.constData(), std::size_t(ace.size()))),
                            kind);
        }
    }
    // Read into room for the most a list may hold; kept in a table its size.
    std::size_t size = 16;
    while (size < all.count_ * 2)
        size *= 2;
    PublicSuffixList fitted;
    fitted.keys_.assign(size, 0);
    fitted.kinds_.assign(size, 0);
    for (std::size_t i = 0; i < all.keys_.size(); ++i)
        if (all.keys_[i])
            fitted.insert(all.keys_[i], all.kinds_[i]);
    fitted.fillBits();
    return fitted;
}

PublicSuffixList PublicSuffixList::fromTable(std::vector<std::uint64_t> keys,
                                             std::vector<std::uint8_t> kinds) {
    PublicSuffixList list;
    const std::size_t n = keys.size();
    if (n != kinds.size() || n == 0 || (n & (n - 1)) != 0)
        return list;
    list.keys_ = std::move(keys);
    list.kinds_ = std::move(kinds);
    for (const std::uint64_t k : list.keys_)
        list.count_ += k != 0;
    if (list.count_ == n)  // a full table would make lookups endless
        return PublicSuffixList();
    list.fillBits();
    return list;
}

std::size_t PublicSuffixList::suffixLabels(std::string_view host) const {
    std::uint64_t hashes[kMaxLabels];
    const std::size_t labels = hostSuffixHashes(host, hashes, kMaxLabels);
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

std::string_view PublicSuffixList::registrableDomain(std::string_view host) const {
    if (host.empty() || isIpAddress(host))
        return host;
    const std::size_t wanted = suffixLabels(host) + 1;
    std::size_t labels = 0;
    for (std::size_t i = host.size(); i-- > 0;) {
        if (host[i] == '.' && ++labels == wanted)
            return host.substr(i + 1);
    }
    return host;
}

}  // namespace quillow::filter
