#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillow::filter {

// Host names are hashed from their last character backwards, so the hash of
// every suffix ("com", "example.com", "ads.example.com") falls out of one
// pass: the public-suffix lookup, the host index and the domain options all
// walk a host once and allocate nothing.
constexpr std::uint64_t kHashSeed = 1469598103934665603ull;

constexpr std::uint64_t hashStep(std::uint64_t h, unsigned char c) {
    return (h ^ c) * 1099511628211ull;
}

inline std::uint64_t hostHash(std::string_view host) {
    std::uint64_t h = kHashSeed;
    for (std::size_t i = host.size(); i-- > 0;)
        h = hashStep(h, static_cast<unsigned char>(host[i]));
    return h | 1;  // never 0: 0 marks an empty slot
}

// The hashes of the suffixes of `host` that start at a label, shortest
// first; at most `max` of them. Returns how many were written.
inline std::size_t hostSuffixHashes(std::string_view host, std::uint64_t *out, std::size_t max) {
    std::size_t n = 0;
    std::uint64_t h = kHashSeed;
    for (std::size_t i = host.size(); i-- > 0 && n < max;) {
        h = hashStep(h, static_cast<unsigned char>(host[i]));
        if (i == 0 || host[i - 1] == '.')
            out[n++] = h | 1;
    }
    return n;
}

// Words are hashed eight characters at a time, then mixed once, so the
// table and its bit filter (which read different bits) see well-spread
// keys. An address is read with its last chunk loaded whole and masked;
// a rule's words, copied: both give the same key.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "word chunks are read little-endian");

constexpr std::uint64_t wordStep(std::uint64_t h, std::uint64_t chunk) {
    h = (h ^ chunk) * 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 29);
}

constexpr std::uint64_t wordFinish(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 29;
    return h | 1;
}

// `padded`: at least eight bytes may be read from any of the word's
// characters (an address in its reading buffer).
template <bool padded>
inline std::uint64_t wordHash(const char *p, std::size_t n) {
    std::uint64_t h = 5381 + n;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p, 8);
        h = wordStep(h, chunk);
    }
    if (n) {
        std::uint64_t chunk = 0;
        if constexpr (padded) {
            std::memcpy(&chunk, p, 8);
            chunk &= ~0ull >> (64 - 8 * n);
        } else {
            std::memcpy(&chunk, p, n);
        }
        h = wordStep(h, chunk);
    }
    return wordFinish(h);
}

inline std::uint64_t tokenHash(const char *begin, const char *end) {
    return wordHash<false>(begin, static_cast<std::size_t>(end - begin));
}

// Characters of the words an address is cut into for the index.
constexpr bool isTokenChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace quillow::filter
