// The filter engine with any list and any request. Building never fails
// whatever the list holds; the compiled cache gives back an engine that
// decides as the one it came from, and a damaged cache is refused or
// decides without harm; letter case in the address changes nothing unless
// a rule asks for it.
//
// Input: kind byte, damage byte, then the list, a blank line, the request's
// address, a line break and the page's address.

#include <string>
#include <string_view>

#include "filter/filter_engine.h"
#include "filter/request.h"
#include "filter/rule_parser.h"
#include "fuzz_support.h"

using namespace quillow::filter;

namespace {

const PublicSuffixList &suffixes() {
    static const PublicSuffixList list =
        PublicSuffixList::fromText("com\nnet\nuk\nco.uk\n*.ck\n!www.ck\n");
    return list;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const auto kind = static_cast<RequestKind>(data[0] % 13);
    const uint8_t damage = data[1];
    const std::string_view input(reinterpret_cast<const char *>(data + 2), size - 2);
    const std::size_t split = input.find("\n\n");
    const std::string_view list = input.substr(0, split);
    std::string_view rest =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 2);
    const std::size_t lineEnd = rest.find('\n');
    const std::string_view url = rest.substr(0, lineEnd);
    const std::string_view page =
        lineEnd == std::string_view::npos ? std::string_view() : rest.substr(lineEnd + 1);

    FilterLimits limits;
    limits.maxNetworkRules = 64;
    limits.maxCosmeticRules = 64;
    limits.maxRegexRules = 4;
    const auto engine = FilterEngine::build({list}, suffixes(), limits);
    QUILLOW_FUZZ_CHECK(engine);
    const FilterStats &stats = engine->stats();
    QUILLOW_FUZZ_CHECK(stats.networkRules <= limits.maxNetworkRules);
    const Verdict verdict = engine->decide(url, page, kind);
    const bool blocked = verdict.blocked;
    // A verdict names rules of the list it was given.
    QUILLOW_FUZZ_CHECK(!verdict.rule.found() || !lineOfList(list, verdict.rule.line).empty());
    QUILLOW_FUZZ_CHECK(!blocked || verdict.rule.found());

    const bool caseMatters = list.find("match-case") != std::string_view::npos;
    if (!caseMatters)
        QUILLOW_FUZZ_CHECK(engine->decide(upper(url), upper(page), kind).blocked == blocked);

    const std::string cache = engine->serialize("source");
    const auto again = FilterEngine::deserialize(cache, "source");
    QUILLOW_FUZZ_CHECK(again);
    QUILLOW_FUZZ_CHECK(again->decide(url, page, kind).blocked == blocked);
    const HostSpan pageHost = findHost(page);
    const std::string_view host = page.substr(pageHost.begin, pageHost.end - pageHost.begin);
    QUILLOW_FUZZ_CHECK(again->elementHiding().siteData(host, suffixes(), 1 << 20) ==
                       engine->elementHiding().siteData(host, suffixes(), 1 << 20));
    QUILLOW_FUZZ_CHECK(again->elementHiding().genericData(host, suffixes(), url, 1 << 20) ==
                       engine->elementHiding().genericData(host, suffixes(), url, 1 << 20));
    QUILLOW_FUZZ_CHECK(!FilterEngine::deserialize(cache, "another source"));

    // A cache damaged on disk: a byte changed, or the file cut short.
    if (!cache.empty()) {
        std::string broken = cache;
        const std::size_t at = (std::size_t(damage) * 2654435761u) % broken.size();
        broken[at] = static_cast<char>(broken[at] ^ (damage | 1));
        if (const auto read = FilterEngine::deserialize(broken, "source"))
            (void)read->decide(url, page, kind);
        QUILLOW_FUZZ_CHECK(!FilterEngine::deserialize(cache.substr(0, at), "source"));
    }
    return 0;
}
