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

// Which bytes words are made of, looked up rather than computed: the
// loop below runs once per byte of every request's address.
struct TokenTable {
    bool token[256] = {};
    constexpr TokenTable() {
        for (unsigned c = 0; c < 256; ++c)
            token[c] = isTokenChar(static_cast<unsigned char>(c));
    }
};
constexpr TokenTable kTokens;

// ASCII lower case, sixteen bytes at a time where the machine can.
void lowerAddress(const char *__restrict in, char *__restrict out, std::size_t n) {
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i a = _mm_set1_epi8('A' - 1), z = _mm_set1_epi8('Z' + 1), gap = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        // Signed compares: bytes of 0x80 and up are negative, never upper case.
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, a), _mm_cmplt_epi8(v, z));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         _mm_add_epi8(v, _mm_and_si128(upper, gap)));
    }
#endif
    for (; i < n; ++i)
        out[i] = asciiLower(in[i]);
}

// The address in lower case, and its words hashed as the index keys them,
// with where each starts.
void readAddress(std::string_view original, Request &r, const RuleTable *early) {
    original = original.substr(0, kMaxAddressLength);
    const std::size_t n = original.size();
    char *const out = roomFor(scratch.lower, n);
    lowerAddress(original.data(), out, n);
    const auto *const text = reinterpret_cast<const unsigned char *>(out);
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < n) {
        if (!kTokens.token[text[i]]) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::uint64_t h = wordStep(5381, text[i]);
        for (++i; i < n && kTokens.token[text[i]]; ++i)
            h = wordStep(h, text[i]);
        if (count < kMaxWords) {
            r.words[count] = wordFinish(h);
            if (early)
                early->prefetchBit(r.words[count]);
            r.wordPositions[count++] = static_cast<std::uint32_t>(start);
        }
    }
    r.wordCount = count;
    r.original = original;
    r.url = std::string_view(out, n);
    r.host = findHost(r.url);
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
// eight characters at a time where the machine can.
char *appendAscii(char *out, const QString &text) {
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xff80));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) !=
            0xffff)
            break;  // not ASCII: the loop below marks it
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(v, v));
        out += 8;
    }
#endif
    for (; i < n; ++i) {
        const char16_t u = d[i];
        *out++ = u < 0x80 ? static_cast<char>(u) : '?';
    }
    return out;
}

// Hosts reach the rules as the request names them: international names in
// their ASCII form, IPv6 addresses in brackets, no final dot.
QString hostOf(const QUrl &url) {
    QString host = url.host();
    for (const QChar ch : host) {
        if (ch.unicode() >= 0x80 || ch == QLatin1Char(':')) {
            host = url.host(QUrl::FullyEncoded);
            if (host.contains(QLatin1Char(':')))
                host = QLatin1Char('[') + host + QLatin1Char(']');
            break;
        }
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
    const std::size_t kept = withoutFinalDots(url.substr(host.begin, host.end - host.begin)).size();
    if (kept < host.end - host.begin) {
        // Without the host's final dots, as the rules name hosts.
        const std::size_t cut = host.end - host.begin - kept;
        char *out = roomFor(scratch.original, url.size() - cut);
        std::memcpy(out, url.data(), host.begin + kept);
        std::memcpy(out + host.begin + kept, url.data() + host.end, url.size() - host.end);
        url = std::string_view(out, url.size() - cut);
    }
    readAddress(url, r, early);
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
    readAddress(std::string_view(begin, std::size_t(out - begin)), r, early);
    const QString pageHost = hostOf(page);
    char *pageOut = roomFor(scratch.nextPage, std::size_t(pageHost.size()));
    const char *const pageEnd = appendAscii(pageOut, pageHost);
    setPageHost(
        r, lowerInto(scratch.nextPage, std::string_view(pageOut, std::size_t(pageEnd - pageOut))));
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
        const std::string_view site = suffixes.registrableDomain(r.pageHost);
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
    std::memset(r.pairs, 0, sizeof r.pairs);
    const auto *const text = reinterpret_cast<const unsigned char *>(r.url.data());
    for (std::size_t i = 1; i < r.url.size(); ++i) {
        const std::uint16_t key = pairKey(text[i - 1], text[i]);
        r.pairs[key >> 6] |= 1ull << (key & 63);
    }
    r.pairsReady = true;
}

void preparePageHashes(Request &r) {
    if (!r.pageReady) {
        r.pageCount = hostSuffixHashes(r.pageHost, r.pageHashes, kMaxLabels);
        r.pageReady = true;
    }
}

void prepareEntityHashes(Request &r, const PublicSuffixList &suffixes) {
    if (!r.entitiesReady) {
        r.entityCount = suffixes.entityHashes(r.pageHost, r.entityHashes, kMaxLabels);
        r.entitiesReady = true;
    }
}

}  // namespace quillow::filter
