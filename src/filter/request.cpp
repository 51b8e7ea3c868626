#include "filter/request.h"

#include <QString>
#include <QUrl>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <string>

#include "filter/ascii.h"
#include "filter/host_hash.h"
#include "filter/public_suffix.h"
#include "filter/rule_table.h"

namespace quillow::filter {

namespace {

// A decision's budget, in about nanoseconds of work: no request of the
// corpus of bench/data/ needs a tenth of it; one a hostile list makes
// costly stops here, well under a millisecond.
constexpr std::int64_t kBudget = 150000;

// Each thread's room for the request it decides; grown once for a long
// address, then reused.
struct Scratch {
    std::string lower;
    std::string original;
    std::string page;
    std::string nextPage;
    std::string cleaned;
    Request request;
};
thread_local Scratch scratch;

char *roomFor(std::string &buffer, std::size_t n) {
    if (buffer.size() < n)
        buffer.resize(std::max<std::size_t>(n, 4096));
    return buffer.data();
}

// A host's final dot names the same host ("example.com."); rules never
// carry it.
std::string_view withoutFinalDots(std::string_view host) {
    while (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    return host;
}

// ASCII lower case, sixteen bytes at a time where the machine can, and
// which of the bytes are word characters (isTokenChar), a bit each: the
// words fall out of the bits without a branch per byte. `n` is at most 64.
std::uint64_t lowerBlock(const char *__restrict in, char *__restrict out, std::size_t n) {
    std::uint64_t tokens = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i a = _mm_set1_epi8('A' - 1), z = _mm_set1_epi8('Z' + 1), gap = _mm_set1_epi8(0x20);
    const __m128i la = _mm_set1_epi8('a' - 1), lz = _mm_set1_epi8('z' + 1);
    const __m128i d0 = _mm_set1_epi8('0' - 1), d9 = _mm_set1_epi8('9' + 1);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        // Signed compares: bytes of 0x80 and up are negative, never letters.
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, a), _mm_cmplt_epi8(v, z));
        const __m128i lower = _mm_add_epi8(v, _mm_and_si128(upper, gap));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), lower);
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, la), _mm_cmplt_epi8(lower, lz));
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(lower, d0), _mm_cmplt_epi8(lower, d9));
        const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(letter, digit)));
        tokens |= std::uint64_t(bits) << i;
    }
#endif
    for (; i < n; ++i) {
        out[i] = asciiLower(in[i]);
        tokens |= std::uint64_t(isTokenChar(static_cast<unsigned char>(out[i]))) << i;
    }
    return tokens;
}

// The address in lower case, and its words hashed as the index keys them,
// with where each starts. `host`: where the host lies, when known.
void readAddress(std::string_view original, Request &r, const RuleTable *early,
                 const HostSpan *host = nullptr) {
    original = original.substr(0, kMaxAddressLength);
    const std::size_t n = original.size();
    // Room past the end: a word's last chunk is read whole.
    char *const out = roomFor(scratch.lower, n + 8);
    std::size_t count = 0;
    std::size_t open = 0;  // where a word that runs on into the next block began
    bool isOpen = false;
    const auto word = [&](std::size_t from, std::size_t to) {
        if (count == kMaxWords)
            return;
        r.words[count] = wordHash<true>(out + from, to - from);
        if (early)
            early->prefetchBit(r.words[count]);
        r.wordPositions[count++] = static_cast<std::uint32_t>(from);
    };
    for (std::size_t base = 0; base < n; base += 64) {
        std::uint64_t m =
            lowerBlock(original.data() + base, out + base, std::min<std::size_t>(64, n - base));
        if (isOpen) {
            // Where the word from the block before ends: its first non-word byte.
            const std::uint64_t rest = ~m;
            if (!rest)
                continue;
            const unsigned end = static_cast<unsigned>(__builtin_ctzll(rest));
            word(open, base + end);
            isOpen = false;
            m &= ~0ull << end;
        }
        while (m) {
            const unsigned from = static_cast<unsigned>(__builtin_ctzll(m));
            const std::uint64_t rest = ~m & (~0ull << from);
            if (!rest) {
                open = base + from;
                isOpen = true;
                break;
            }
            const unsigned to = static_cast<unsigned>(__builtin_ctzll(rest));
            word(base + from, base + to);
            m &= ~0ull << to;  // to < 64: a word ended in this block
        }
    }
    if (isOpen)
        word(open, n);
    r.wordCount = count;
    r.original = original;
    r.url = std::string_view(out, n);
    r.host = host ? *host : findHost(r.url);
}

void finish(Request &r, RequestKind kind, std::uint8_t method) {
    r.method = method;
    const std::string_view host = r.hostName();
    r.hostCount = 0;
    std::uint64_t h = kHashSeed;
    for (std::size_t i = host.size(); i-- > 0 && r.hostCount < kMaxLabels;) {
        h = hashStep(h, static_cast<unsigned char>(host[i]));
        if (i == 0 || host[i - 1] == '.') {
            r.hostSuffixLengths[r.hostCount] = static_cast<std::uint32_t>(host.size() - i);
            r.hostHashes[r.hostCount++] = h | 1;
        }
    }
    r.kind = kindBit(kind);
    r.party = 0;
    r.pairsReady = false;
    // A page's names come from the engine's suffix list: asked again.
    r.entitiesReady = false;
    r.pageSuffixReady = false;
    r.budget.left = kBudget;
}

// Requests come in runs from one page: its host's hashes are kept while
// the host stays the same. `host` is in lower case.
void setPageHost(Request &r, std::string_view host) {
    if (r.pageReady && host == r.pageHost)
        return;
    char *out = roomFor(scratch.page, host.size());
    std::memcpy(out, host.data(), host.size());
    r.pageHost = std::string_view(out, host.size());
    r.pageReady = false;
}

std::string_view lowerInto(std::string &buffer, std::string_view text) {
    char *out = roomFor(buffer, text.size());
    std::transform(text.begin(), text.end(), out, asciiLower);
    return withoutFinalDots(std::string_view(out, text.size()));
}

// Appends a component that is plain ASCII (percent-encoded) as it stands,
// or lowered, eight characters at a time where the machine can.
template <bool lowered = false>
char *appendAscii(char *out, const QString &text) {
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xff80));
    const __m128i a = _mm_set1_epi16('A' - 1), z = _mm_set1_epi16('Z' + 1);
    const __m128i gap = _mm_set1_epi16(0x20);
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) !=
            0xffff)
            break;  // not ASCII: the loop below marks it
        if constexpr (lowered) {
            const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, a), _mm_cmplt_epi16(v, z));
            v = _mm_add_epi16(v, _mm_and_si128(upper, gap));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(v, v));
        out += 8;
    }
#endif
    for (; i < n; ++i) {
        const char16_t u = d[i];
        const char c = u < 0x80 ? static_cast<char>(u) : '?';
        *out++ = lowered ? asciiLower(c) : c;
    }
    return out;
}

// Whether a host from QUrl is plain ASCII and no IPv6 address, as nearly
// every one is; eight characters at a time where the machine can.
bool plainHost(const QString &host) {
    const char16_t *d = reinterpret_cast<const char16_t *>(host.constData());
    const qsizetype n = host.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xff80));
    const __m128i colon = _mm_set1_epi16(':');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i odd =
            _mm_or_si128(_mm_cmpeq_epi16(v, colon),
                         _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128()),
                                       _mm_set1_epi16(-1)));
        if (_mm_movemask_epi8(odd))
            return false;
    }
#endif
    for (; i < n; ++i)
        if (d[i] >= 0x80 || d[i] == ':')
            return false;
    return true;
}

// Hosts reach the rules as the request names them: international names in
// their ASCII form, IPv6 addresses in brackets, no final dot.
QString hostOf(const QUrl &url) {
    QString host = url.host();
    if (!plainHost(host)) {
        host = url.host(QUrl::FullyEncoded);
        if (host.contains(QLatin1Char(':')))
            host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    while (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host;
}

}  // namespace

HostSpan findHost(std::string_view u) {
    const std::size_t n = u.size();
    std::size_t start = 0;
    while (start < n && start <= 32 && u[start] != ':')
        ++start;
    if (start + 2 >= n || u[start] != ':' || u[start + 1] != '/' || u[start + 2] != '/')
        return {};
    start += 3;
    std::size_t hostStart = start;
    std::size_t colon = std::string_view::npos;
    std::size_t stop = start;
    for (; stop < n; ++stop) {
        const char c = u[stop];
        if (c == '/' || c == '?' || c == '#')
            break;
        if (c == '@') {
            hostStart = stop + 1;
            colon = std::string_view::npos;
        } else if (c == ':' && colon == std::string_view::npos) {
            colon = stop;
        }
    }
    std::size_t hostEnd = colon == std::string_view::npos ? stop : colon;
    if (hostStart < stop && u[hostStart] == '[') {
        hostEnd = hostStart;
        while (hostEnd < stop && u[hostEnd] != ']')
            ++hostEnd;
        hostEnd = hostEnd < stop ? hostEnd + 1 : stop;
    }
    return {hostStart, std::max(hostStart, hostEnd)};
}

Request &prepareRequest(std::string_view url, std::string_view pageUrl, RequestKind kind,
                        std::uint8_t method, const RuleTable *early) {
    Request &r = scratch.request;
    const HostSpan host = findHost(url);
    const std::size_t keptLength =
        withoutFinalDots(url.substr(host.begin, host.end - host.begin)).size();
    if (keptLength < host.end - host.begin) {
        // Without the host's final dots, as the rules name hosts.
        const std::size_t cut = host.end - host.begin - keptLength;
        char *out = roomFor(scratch.original, url.size() - cut);
        std::memcpy(out, url.data(), host.begin + keptLength);
        std::memcpy(out + host.begin + keptLength, url.data() + host.end, url.size() - host.end);
        url = std::string_view(out, url.size() - cut);
    }
    const HostSpan kept{host.begin, host.begin + keptLength};
    readAddress(url, r, early, &kept);
    const HostSpan page = findHost(pageUrl);
    setPageHost(r, lowerInto(scratch.nextPage, pageUrl.substr(page.begin, page.end - page.begin)));
    finish(r, kind, method);
    return r;
}

namespace {

// The web engine hands over an address its own parser takes and QUrl
// refuses (a label ending in '-': "ads-.example") as a QUrl whose error
// alone keeps the text; decided from that text rather than as no address.
std::string refusedAddress(const QUrl &url) {
    const QString error = url.errorString();
    const QLatin1String mark("source was \"");
    const int from = error.indexOf(mark);
    if (from < 0)
        return {};
    const int begin = from + mark.size();
    int end = error.indexOf(QLatin1String("\"; scheme = "), begin);
    if (end < 0)
        end = error.lastIndexOf(QLatin1Char('"'));
    return end > begin ? error.mid(begin, end - begin).toStdString() : std::string();
}

}  // namespace

Request &prepareRequest(const QUrl &url, const QUrl &page, RequestKind kind, std::uint8_t method,
                        const RuleTable *early) {
    if (!url.isValid() || (!page.isValid() && !page.isEmpty())) {
        // The request may point into the texts: they stay till the next.
        static thread_local std::string urlText, pageText;
        urlText = url.isValid() ? url.toEncoded().toStdString() : refusedAddress(url);
        pageText = page.isValid() ? page.toEncoded().toStdString() : refusedAddress(page);
        return prepareRequest(urlText, pageText, kind, method, early);
    }
    Request &r = scratch.request;
    const QString scheme = url.scheme();
    const QString host = hostOf(url);
    const int port = url.port();
    const QString portText = port == -1 ? QString() : QString::number(port);
    const QString path = url.path(QUrl::FullyEncoded);
    const bool hasQuery = url.hasQuery();
    const QString query = hasQuery ? url.query(QUrl::FullyEncoded) : QString();
    const std::size_t length = std::size_t(scheme.size() + 3 + host.size() + 1 + portText.size() +
                                           path.size() + 1 + query.size());
    char *const begin = roomFor(scratch.original, length);
    char *out = appendAscii(begin, scheme);
    *out++ = ':';
    *out++ = '/';
    *out++ = '/';
    const HostSpan hostSpan{std::size_t(out - begin), std::size_t(out - begin + host.size())};
    out = appendAscii(out, host);
    if (port != -1) {
        *out++ = ':';
        out = appendAscii(out, portText);
    }
    out = appendAscii(out, path);
    if (hasQuery) {
        *out++ = '?';
        out = appendAscii(out, query);
    }
    readAddress(std::string_view(begin, std::size_t(out - begin)), r, early, &hostSpan);
    const QString pageHost = hostOf(page);
    char *pageOut = roomFor(scratch.nextPage, std::size_t(pageHost.size()));
    const char *const pageEnd = appendAscii<true>(pageOut, pageHost);
    setPageHost(r, std::string_view(pageOut, std::size_t(pageEnd - pageOut)));
    finish(r, kind, method);
    return r;
}

std::string &cleanedAddressRoom() {
    return scratch.cleaned;
}

std::uint8_t partyOf(Request &r, const PublicSuffixList &suffixes) {
    if (!r.party) {
        // The page's site owns its own host and every host under it.
        const std::string_view host = r.hostName();
        const std::string_view site =
            r.pageHost.empty() || isIpAddress(r.pageHost)
                ? r.pageHost
                : PublicSuffixList::registrableDomain(r.pageHost, pageSuffixLabels(r, suffixes));
        const bool own = !site.empty() && host.size() >= site.size() &&
                         host.substr(host.size() - site.size()) == site &&
                         (host.size() == site.size() || host[host.size() - site.size() - 1] == '.');
        r.party = own ? kFirstParty : kThirdParty;
    }
    return r.party;
}

void preparePairs(Request &r) {
    if (r.pairsReady)
        return;
    if (++r.pairMark == 0) {
        // Marks have come round: the old ones could pass for new.
        std::memset(r.pairMarks, 0, sizeof r.pairMarks);
        r.pairMark = 1;
    }
    const std::uint16_t mark = r.pairMark;
    std::uint16_t *const marks = r.pairMarks;
    const auto *const text = reinterpret_cast<const unsigned char *>(r.url.data());
    const std::size_t n = r.url.size();
    std::size_t i = 1;
#ifdef __SSE2__
    // The keys of eight pairs at a time, then marked one by one.
    alignas(16) std::uint16_t keys[8];
    const __m128i times = _mm_set1_epi16(131), mask = _mm_set1_epi16(kPairBits - 1);
    for (; i + 8 <= n; i += 8) {
        const __m128i first = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(text + i - 1)), _mm_setzero_si128());
        const __m128i second = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(text + i)), _mm_setzero_si128());
        _mm_store_si128(reinterpret_cast<__m128i *>(keys),
                        _mm_and_si128(_mm_add_epi16(_mm_mullo_epi16(first, times), second), mask));
        for (const std::uint16_t key : keys)
            marks[key] = mark;
    }
#endif
    for (; i < n; ++i)
        marks[pairKey(text[i - 1], text[i])] = mark;
    r.pairsReady = true;
}

void preparePageHashes(Request &r) {
    if (!r.pageReady) {
        r.pageCount = hostSuffixHashes(r.pageHost, r.pageHashes, kMaxLabels);
        r.pageReady = true;
    }
}

std::size_t pageSuffixLabels(Request &r, const PublicSuffixList &suffixes) {
    if (!r.pageSuffixReady) {
        preparePageHashes(r);
        r.pageSuffixLabels = suffixes.suffixLabels(r.pageHashes, r.pageCount);
        r.pageSuffixReady = true;
    }
    return r.pageSuffixLabels;
}

void prepareEntityHashes(Request &r, const PublicSuffixList &suffixes) {
    if (!r.entitiesReady) {
        r.entityCount = PublicSuffixList::entityHashes(r.pageHost, pageSuffixLabels(r, suffixes),
                                                       r.entityHashes, kMaxLabels);
        r.entitiesReady = true;
    }
}

}  // namespace quillow::filter
