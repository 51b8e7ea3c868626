// What rules do besides blocking: the neutral resource a blocked request
// gets instead, and the query parameters a passing one loses. Decided as
// uBlock Origin decides: every matching rule is gathered, exceptions and
// important rules weighed, then the highest redirect chosen or each
// parameter rule applied in turn.

#include "filter/modifiers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/ascii.h"
#include "filter/filter_engine.h"
#include "filter/host_hash.h"
#include "filter/request.h"
#include "filter/word_choice.h"

namespace quillow::filter {

namespace {

// Rules that stand for one request's modifiers, at most.
constexpr std::size_t kMostModifiers = 64;

std::string_view trimmedValue(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// decodeURIComponent: escapes decoded, a malformed one leaves the text as
// it was.
// Appended to `out`.
void appendDecodedComponent(std::string &out, std::string_view s) {
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0) {
            out.resize(start);
            out += s;
            return;
        }
        out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
        i += 2;
    }
}

}  // namespace

ParsedRedirect parseRedirectValue(std::string_view value) {
    ParsedRedirect out;
    const std::string_view trimmed = trimmedValue(value);
    out.tokenStart = static_cast<std::size_t>(trimmed.data() - value.data());
    std::string_view token = trimmed;
    if (!token.empty() && token.front() == '%') {
        token.remove_prefix(1);
        ++out.tokenStart;
    }
    const std::size_t colon = token.rfind(':');
    if (colon != std::string_view::npos && colon + 1 < token.size()) {
        std::string_view digits = token.substr(colon + 1);
        const bool minus = digits.front() == '-';
        if (minus)
            digits.remove_prefix(1);
        if (!digits.empty() && digits.size() < 9 &&
            std::all_of(digits.begin(), digits.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            std::int32_t n = 0;
            for (const char c : digits)
                n = n * 10 + (c - '0');
            out.priority = minus ? -n : n;
            token = token.substr(0, colon);
        }
    }
    out.token = token;
    return out;
}

ParsedParam parseParamValue(std::string_view value) {
    ParsedParam out;
    std::string_view s = trimmedValue(value);
    if (s.empty()) {
        out.form = ModifierRule::kAll;
        return out;
    }
    out.negated = s.front() == '~';
    if (out.negated)
        s.remove_prefix(1);
    if (s.size() > 2 && s.front() == '/' &&
        (s.back() == '/' || (s.size() > 3 && s.substr(s.size() - 2) == "/i"))) {
        out.caseless = s.back() == 'i';
        out.form = ModifierRule::kPairRegex;
        out.regex = std::string(s.substr(1, s.size() - (out.caseless ? 3 : 2)));
        return out;
    }
    if (s.front() == '|') {
        out.form = ModifierRule::kPairRegex;
        out.caseless = true;
        out.regex = "^" + std::string(s.substr(1));
        return out;
    }
    // More than one name at once is not read, as uBlock Origin does not.
    out.form = s.find('|') == std::string_view::npos ? ModifierRule::kName : ModifierRule::kBad;
    out.name = s;
    return out;
}

re2::RE2::Options paramRegexOptions(bool caseless) {
    re2::RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(!caseless);
    options.set_never_capture(true);
    options.set_max_mem(64 << 10);
    return options;
}

std::uint64_t paramWord(std::string_view value) {
    const ParsedParam parsed = parseParamValue(value);
    if (parsed.negated || parsed.form == ModifierRule::kAll || parsed.form == ModifierRule::kBad)
        return 0;
    // An expression's sure text; at its start ("^utm_") a name's start, so
    // a word boundary in the address.
    const std::string sure = parsed.form == ModifierRule::kPairRegex
                                 ? regexRequiredText(parsed.regex)
                                 : asciiLowered(parsed.name);
    const bool fromStart = parsed.form == ModifierRule::kName ||
                           (!parsed.regex.empty() && parsed.regex.front() == '^');
    std::string_view best;
    forEachWholeWord(sure, fromStart, parsed.form == ModifierRule::kName,
                     [&best](std::string_view word) {
                         if (word.size() > best.size())
                             best = word;
                     });
    return best.empty() ? 0 : tokenHash(best.data(), best.data() + best.size());
}

bool FilterEngine::hasResource(std::string_view name, bool forXhr) const {
    const auto &names = forXhr ? xhrResources_ : resources_;
    return std::binary_search(names.begin(), names.end(), hostHash(name));
}

// As uBlock Origin's engine chooses: the rules that stand, ordered by
// priority alone (a resource it does not know below all), the last
// winning; an exception that wins leaves the request blocked, and so does
// `none` or a resource a script's own request cannot get.
void FilterEngine::chooseRedirect(Request &r, Verdict &verdict) const {
    if (modifiers_.empty())
        return;
    std::uint32_t stand[kMostModifiers];
    const std::size_t count = matchingModifiers(redirects_, r, stand, kMostModifiers);
    if (count == 0)
        return;
    const auto modifier = [this](std::uint32_t id) -> const ModifierRule & {
        return modifiers_[rules_[id].modifier - 1];
    };
    const auto token = [&](std::uint32_t id) {
        return modifierValue(modifier(id)).substr(0, modifier(id).token);
    };
    const auto known = [&](std::uint32_t id) {
        return token(id) == "none" || hasResource(token(id));
    };
    std::stable_sort(stand, stand + count, [&](std::uint32_t a, std::uint32_t b) {
        if (!known(a) || !known(b))
            return !known(a) && known(b);
        return modifier(a).priority < modifier(b).priority;
    });
    const std::uint32_t chosen = stand[count - 1];
    const bool xhr = r.kind == kindBit(RequestKind::XmlHttpRequest);
    if (modifier(chosen).action == ModifierRule::kAllow || !hasResource(token(chosen), xhr))
        return;
    verdict.resource = token(chosen);
    verdict.redirectRule = refOf(chosen);
}

void FilterEngine::removeParams(Request &r, Verdict &verdict) const {
    const std::string_view url = r.original;
    const std::size_t query = url.find('?');
    if (modifiers_.empty() || query == std::string_view::npos || url.size() >= kMaxAddressLength)
        return;
    std::uint32_t stand[kMostModifiers];
    const std::size_t count = matchingModifiers(removeParams_, r, stand, kMostModifiers);
    if (count == 0)
        return;
    const std::size_t fragment = std::min(url.find('#', query + 1), url.size());
    // The parameters as uBlock Origin reads them, into a map: a name that
    // comes again keeps its first place and takes its last value.
    // This thread's, reused: a decision allocates nothing once they have
    // grown to an address's size.
    static thread_local std::vector<std::pair<std::string_view, std::string_view>> params;
    static thread_local std::string keyValue;
    params.clear();
    for (std::string_view rest = url.substr(query + 1, fragment - query - 1);;) {
        const std::size_t amp = std::min(rest.find('&'), rest.size());
        const std::string_view pair = rest.substr(0, amp);
        const std::size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        const auto same = std::find_if(params.begin(), params.end(),
                                       [&](const auto &p) { return p.first == key; });
        if (same == params.end())
            params.emplace_back(key, value);
        else
            same->second = value;
        if (amp == rest.size())
            break;
        rest.remove_prefix(amp + 1);
    }
    const std::size_t before = params.size();
    for (std::size_t i = 0; i < count && !params.empty(); ++i) {
        const std::uint32_t place = rules_[stand[i]].modifier - 1;
        const ModifierRule &m = modifiers_[place];
        const bool exception = m.action == ModifierRule::kAllow;
        if (exception && m.length == 0)
            break;
        if (m.form == ModifierRule::kBad)
            continue;
        if (!verdict.cleanRule.found())
            verdict.cleanRule = refOf(stand[i]);
        if (m.form == ModifierRule::kAll) {
            if (!exception)
                params.clear();
            break;
        }
        const ParsedParam parsed = parseParamValue(modifierValue(m));
        const re2::RE2 *re = paramRegexes_[place].get();
        for (std::size_t j = params.size(); j-- > 0;) {
            const auto &[key, raw] = params[j];
            bool matched = false;
            if (m.form == ModifierRule::kName) {
                matched = key == parsed.name;
            } else if (re) {
                keyValue.assign(key);
                keyValue += '=';
                appendDecodedComponent(keyValue, raw);
                matched = re2::RE2::PartialMatch(keyValue, *re);
            }
            if (matched != bool(m.negated) && !exception)
                params.erase(params.begin() + std::ptrdiff_t(j));
        }
    }
    if (params.size() == before) {
        verdict.cleanRule = RuleRef();
        return;
    }
    std::string &out = cleanedAddressRoom();
    out.assign(url.substr(0, query));
    for (std::size_t i = 0; i < params.size(); ++i) {
        out += i ? '&' : '?';
        out += params[i].first;
        out += '=';
        out += params[i].second;
    }
    out += url.substr(fragment);
    verdict.cleanedUrl = out;
}

}  // namespace quillow::filter
