#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filter/pattern.h"
#include "filter/request_kind.h"

class QUrl;

namespace quillow::filter {

class PublicSuffixList;
struct RuleTable;

constexpr std::size_t kMaxLabels = 32;
// The keys of the pairs of adjacent characters an address holds.
constexpr std::size_t kPairBits = 2048;
inline std::uint16_t pairKey(unsigned char a, unsigned char b) {
    return static_cast<std::uint16_t>((a * 131u + b) & (kPairBits - 1));
}
// Words of an address past this many are not looked up (as uBlock Origin).
constexpr std::size_t kMaxWords = 2048;
// Of a longer address (up to 2 MiB reach the engine) the rules see this
// much: reading the rest would take longer than any request may.
constexpr std::size_t kMaxAddressLength = 256 * 1024;

// One request as the index reads it, prepared once: its address in lower
// case, the address's words, its host and the host of the page that makes
// it. What only some rules ask (the party, the page's names) is worked out
// when first asked. Each thread has one, reused: nothing is allocated for
// addresses under 4 KiB.
struct Request {
    std::string_view url;       // lower case
    std::string_view original;  // as given, for regular expressions that tell case apart
    HostSpan host;
    std::string_view pageHost;  // lower case, no final dot
    std::uint16_t kind = 0;
    std::uint8_t method = 0;  // its MethodBit; 0: not known
    std::uint8_t party = 0;   // 0 until asked
    bool pageReady = false;
    bool entitiesReady = false;
    bool pairsReady = false;
    bool pageSuffixReady = false;
    MatchBudget budget;
    std::size_t hostCount = 0;
    std::size_t pageCount = 0;
    std::size_t entityCount = 0;
    std::size_t pageSuffixLabels = 0;  // when pageSuffixReady
    std::size_t wordCount = 0;
    std::uint64_t hostHashes[kMaxLabels];  // the host's suffixes, shortest first
    std::uint32_t hostSuffixLengths[kMaxLabels];
    std::uint64_t pageHashes[kMaxLabels];
    std::uint64_t entityHashes[kMaxLabels];  // "name.*" forms of the page's host
    std::uint64_t words[kMaxWords];
    std::uint32_t wordPositions[kMaxWords];
    // Each pair key's mark: the request's `pairMark` when its address
    // holds the pair. A new mark a request, so nothing is cleared.
    std::uint16_t pairMarks[kPairBits] = {};
    std::uint16_t pairMark = 0;  // when pairsReady

    // Whether the address may hold the pair `key` (a few hold it falsely).
    bool mayHoldPair(std::uint16_t key) const { return pairMarks[key] == pairMark; }

    std::string_view hostName() const { return url.substr(host.begin, host.end - host.begin); }
};

// The request of this thread, prepared from encoded addresses
// ("https://host/path?query"). `early`'s bits are fetched while the words
// are read.
Request &prepareRequest(std::string_view url, std::string_view pageUrl, RequestKind kind,
                        std::uint8_t method, const RuleTable *early);
// The same from the web engine's addresses, built from their parts as
// they go out: without user name and fragment, which the rules do not see.
Request &prepareRequest(const QUrl &url, const QUrl &page, RequestKind kind, std::uint8_t method,
                        const RuleTable *early);
// Room for a cleaned address, this thread's own.
std::string &cleanedAddressRoom();

// Whether the request goes to another site than its page's: to a host
// outside the page's registrable domain. A request without a page (or
// from a blank one) comes from no site.
std::uint8_t partyOf(Request &r, const PublicSuffixList &suffixes);
void preparePageHashes(Request &r);
// The pairs of characters of the address, for the rules every request
// of a kind tries: most are passed over on their pairs alone.
void preparePairs(Request &r);
void prepareEntityHashes(Request &r, const PublicSuffixList &suffixes);
// How many labels end the page's host as its public suffix: looked up
// once a request, for its party and its page's "name.*" forms alike.
std::size_t pageSuffixLabels(Request &r, const PublicSuffixList &suffixes);

// Where the host of an encoded address lies: after "scheme://", without
// user, password and port.
HostSpan findHost(std::string_view url);

}  // namespace quillow::filter
