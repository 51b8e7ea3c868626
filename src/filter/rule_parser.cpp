#include "filter/rule_parser.h"

#include <QString>
#include <QUrl>

#include <algorithm>

#include "filter/ascii.h"
#include "filter/host_hash.h"

namespace quillow::filter {

namespace {

// Options this engine does not apply: their rules are skipped and counted.
constexpr std::string_view kUnsupportedOptions[] = {"csp",
                                                    "header",
                                                    "permissions",
                                                    "replace",
                                                    "urltransform",
                                                    "uritransform",
                                                    "urlskip",
                                                    "genericblock",
                                                    "specifichide",
                                                    "shide",
                                                    "inline-script",
                                                    "inline-font",
                                                    "cname",
                                                    "webrtc",
                                                    "popunder",
                                                    "ipaddress",
                                                    "sitekey",
                                                    "rewrite",
                                                    "xmlhttprequest-subrequest",
                                                    "elemhide-subrequest"};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A host named in Unicode, in the ASCII form addresses carry; empty when
// it has none.
std::string asciiHost(std::string_view host) {
    if (isAscii(host))
        return asciiLowered(host);
    const QByteArray ace = QUrl::toAce(QString::fromUtf8(host.data(), qsizetype(host.size())));
    return std::string(ace.constData(), std::size_t(ace.size()));
}

bool validDomainName(std::string_view d) {
    if (d.empty() || d.size() > 253)
        return false;
    if (isIpv6Literal(d))
        return true;
    return std::all_of(d.begin(), d.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_' || c == '*';
    });
}

bool parseDomain(std::string_view item, DomainEntry &entry) {
    if (item.front() == '~') {
        entry.negated = true;
        item.remove_prefix(1);
    }
    // A wildcard stands only for the public suffix: "google.*".
    const bool entity = item.size() > 2 && item.substr(item.size() - 2) == ".*";
    if (entity)
        item.remove_suffix(2);
    if (item.find('*') != std::string_view::npos)
        return false;
    std::string name = asciiHost(item);
    if (entity && !name.empty())
        name += ".*";
    entry.hash = hostHash(name);
    entry.entity = entity;
    entry.topLevel = !entity && name.find('.') == std::string::npos && !isIpv6Literal(name);
    return validDomainName(name);
}

// "a.com|~b.a.com" (network) or "a.com,~b.a.com" (element hiding).
bool parseDomains(std::string_view text, char separator, std::vector<DomainEntry> &out) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view item = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (item.empty())
            continue;
        DomainEntry entry;
        if (!parseDomain(item, entry))
            return false;
        out.push_back(std::move(entry));
    }
    return !out.empty();
}

bool isUnsupportedOption(std::string_view name) {
    return std::find(std::begin(kUnsupportedOptions), std::end(kUnsupportedOptions), name) !=
           std::end(kUnsupportedOptions);
}

bool isRedirectValue(std::string_view v) {
    // A resource's name, then perhaps ":priority".
    return !v.empty() && v.size() <= 100 && std::all_of(v.begin(), v.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view(".-_:/%").find(c) != std::string_view::npos;
    });
}

RuleType setModifier(NetworkRule &rule, Modifier modifier, std::string_view value) {
    if (rule.modifier != Modifier::None)
        return RuleType::Invalid;  // one modifier a rule
    rule.modifier = modifier;
    rule.modifierValue = std::string(value);
    return RuleType::Network;
}

// An option without a value that is not a kind.
RuleType applyFlag(std::string_view name, bool negated, NetworkRule &rule) {
    if (name == "third-party" || name == "3p" || name == "first-party" || name == "1p") {
        const bool third = (name == "third-party" || name == "3p") != negated;
        rule.party = std::uint8_t((rule.party & ~kAnyParty) | (third ? kThirdParty : kFirstParty));
    } else if (name == "strict1p" || name == "strict3p") {
        rule.party = std::uint8_t((rule.party & ~(kSameHost | kOtherHost)) |
                                  ((name == "strict1p") != negated ? kSameHost : kOtherHost));
    } else if (negated) {
        return RuleType::Invalid;
    } else if (name == "match-case") {
        rule.matchCase = true;
    } else if (name == "important") {
        rule.important = true;
    } else if (name == "elemhide" || name == "ehide") {
        rule.cosmeticSwitches |= kElementHide;
    } else if (name == "generichide" || name == "ghide") {
        rule.cosmeticSwitches |= kGenericHide;
    } else if (name == "badfilter") {
        rule.badfilter = true;
    } else if (name == "removeparam" || name == "queryprune") {
        return setModifier(rule, Modifier::RemoveParam, {});
    } else if (name == "empty" || name == "mp4") {
        // Old names of neutral resources.
        rule.alsoBlocks = !rule.exception;
        return setModifier(rule, Modifier::Redirect, name == "mp4" ? "noopmp4-1s" : "empty");
    } else if (name == "redirect" || name == "redirect-rule") {
        // An exception without a resource excepts every resource.
        return rule.exception ? setModifier(rule, Modifier::Redirect, {}) : RuleType::Invalid;
    } else if (name.find_first_not_of('_') != std::string_view::npos) {
        return isUnsupportedOption(name) ? RuleType::Unsupported : RuleType::Invalid;
    }
    return RuleType::Network;
}

RuleType applyMethods(std::string_view value, NetworkRule &rule) {
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t end = std::min(value.find('|', start), value.size());
        const std::string_view method = value.substr(start, end - start);
        start = end + 1;
        const bool excluded = !method.empty() && method.front() == '~';
        const std::uint8_t bit = methodBitOfName(method.substr(excluded ? 1 : 0));
        if (!bit)
            return RuleType::Invalid;
        rule.methods = excluded ? std::uint8_t((rule.methods ? rule.methods : 0xff) & ~bit)
                                : std::uint8_t(rule.methods | bit);
    }
    return RuleType::Network;
}

// One option with a value.
RuleType applyValue(std::string_view name, bool negated, std::string_view value,
                    NetworkRule &rule) {
    if (negated)
        return RuleType::Invalid;
    if (name == "domain" || name == "from")
        return parseDomains(value, '|', rule.domains) ? RuleType::Network : RuleType::Invalid;
    if (name == "to" || name == "denyallow") {
        const std::size_t before = rule.targets.size();
        if (!parseDomains(value, '|', rule.targets))
            return RuleType::Invalid;
        // The hosts $denyallow= names are those the rule leaves alone.
        if (name == "denyallow")
            for (std::size_t i = before; i < rule.targets.size(); ++i)
                rule.targets[i].negated = true;
        return RuleType::Network;
    }
    if (name == "method")
        return applyMethods(value, rule);
    // Adblock Plus's $rewrite to one of its resources is a redirect to the
    // neutral resource of that other name.
    const bool abpResource =
        name == "rewrite" && value.substr(0, 13) == std::string_view("abp-resource:");
    if (name == "redirect" || name == "redirect-rule" || abpResource) {
        if (!isRedirectValue(value))
            return RuleType::Invalid;
        // $redirect= blocks and redirects; an exception's excepts the
        // redirect only.
        rule.alsoBlocks = name != "redirect-rule" && !rule.exception;
        return setModifier(rule, Modifier::Redirect, value);
    }
    if (name == "removeparam" || name == "queryprune") {
        std::string unescaped(value);
        for (std::size_t at = unescaped.find("\\,"); at != std::string::npos;
             at = unescaped.find("\\,", at))
            unescaped.erase(at, 1);
        return setModifier(rule, Modifier::RemoveParam, unescaped);
    }
    if (name == "reason")
        return RuleType::Network;  // a message for a blocked page, not shown here
    return isUnsupportedOption(name) ? RuleType::Unsupported : RuleType::Invalid;
}

// A rule's options, split at the commas no backslash escapes.
std::vector<std::string_view> splitOptions(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == ',' && (i == 0 || text[i - 1] != '\\'))) {
            out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

RuleType parseOptions(std::string_view text, NetworkRule &rule) {
    std::uint16_t positive = 0;
    std::uint16_t negative = 0;
    for (std::string_view option : splitOptions(text)) {
        option = trimmed(option);
        if (option.empty())
            return RuleType::Invalid;
        const bool negated = option.front() == '~';
        if (negated)
            option.remove_prefix(1);
        const std::size_t eq = option.find('=');
        const std::string name = asciiLowered(option.substr(0, eq));
        RuleType type = RuleType::Network;
        if (eq != std::string_view::npos) {
            type = applyValue(name, negated, option.substr(eq + 1), rule);
        } else if (const std::uint16_t bits = kindBitsOfName(name)) {
            (negated ? negative : positive) |= bits;
        } else {
            type = applyFlag(name, negated, rule);
        }
        if (type != RuleType::Network)
            return type;
    }
    if (rule.modifierValue == "noopmp4-1s" && !positive)
        positive = kindBit(RequestKind::Media);
    if (positive)
        rule.kinds = positive & ~negative;
    else if (negative)
        rule.kinds = kDefaultKinds & ~negative;
    else if (rule.modifier != Modifier::None)
        rule.kinds = kAllKinds;  // a modifier that names no kind applies to every request
    if (rule.cosmeticSwitches) {
        // Only an exception can turn element hiding off, and such a rule
        // says nothing about requests unless it also names kinds.
        if (!rule.exception)
            return RuleType::Invalid;
        if (!positive)
            rule.kinds = 0;
    }
    return rule.kinds || rule.cosmeticSwitches ? RuleType::Network : RuleType::Invalid;
}

// Whether text after a '$' reads as options: a name, then its end, a
// comma or a value.
bool startsOptions(std::string_view s) {
    if (!s.empty() && s.front() == '~')
        s.remove_prefix(1);
    std::size_t i = 0;
    while (i < s.size() && ((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z') ||
                            (s[i] >= '0' && s[i] <= '9') || s[i] == '-' || s[i] == '_'))
        ++i;
    return i > 0 && (i == s.size() || s[i] == ',' || s[i] == '=');
}

// Where a rule's options start: at the last '$' that starts options. In
// a line that may be a regular expression ("/ads$/$script") the '$' right
// after its closing slash is preferred, so neither the expression's '$'
// nor one inside an option's value ("$removeparam=/^utm_$/") is taken.
std::size_t optionsStart(std::string_view line) {
    std::size_t last = std::string_view::npos;
    for (std::size_t at = line.rfind('$'); at != std::string_view::npos;
         at = at > 0 ? line.rfind('$', at - 1) : std::string_view::npos) {
        if (!startsOptions(line.substr(at + 1)))
            continue;
        if (line.front() != '/' || (at > 0 && line[at - 1] == '/'))
            return at;
        if (last == std::string_view::npos)
            last = at;
    }
    return last;
}

// Selectors a style sheet cannot apply, or that would break out of it.
constexpr std::string_view kProcedural[] = {":has(",         ":has-text(",     ":-abp-",
                                            ":xpath(",       ":style(",        ":remove(",
                                            ":upward(",      ":matches-",      ":min-text-length(",
                                            ":watch-attr(",  ":others(",       ":if(",
                                            ":if-not(",      ":nth-ancestor(", ":contains(",
                                            ":remove-attr(", ":remove-class(", ":shadow",
                                            ":spath("};

// Whether the `quote`s or commas at `at` in `s` is escaped: an odd run of
// backslashes before it.
bool escapedAt(std::string_view s, std::size_t at) {
    std::size_t n = 0;
    while (n < at && s[at - 1 - n] == '\\')
        ++n;
    return n % 2 == 1;
}

// The first `separator` in `s` from `from` that no backslash escapes.
std::size_t unescaped(std::string_view s, char separator, std::size_t from) {
    for (std::size_t at = s.find(separator, from); at != std::string_view::npos;
         at = s.find(separator, at + 1))
        if (!escapedAt(s, at))
            return at;
    return s.size();
}

// An argument without the backslash that escaped each `separator` in it.
std::string unescapedArgument(std::string_view arg, char separator) {
    std::string out;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == '\\' && i + 1 < arg.size() && arg[i + 1] == separator &&
            escapedAt(arg, i + 1))
            continue;
        out += arg[i];
    }
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

RuleType parseCosmetic(std::string_view line, std::size_t at, std::size_t markLength,
                       bool exception, CosmeticRule &rule) {
    rule = CosmeticRule();
    rule.exception = exception;
    const std::string_view domains = line.substr(0, at);
    const std::string_view selector = trimmed(line.substr(at + markLength));
    if (selector.substr(0, 4) == "+js(" && selector.back() == ')') {
        // Other than host names (regular expressions, a frame's ancestors
        // with ">>"), a scriptlet's sites are beyond this engine.
        if (domains.find_first_of("/>") != std::string_view::npos)
            return RuleType::Unsupported;
        rule.scriptlet = true;
        rule.selector = scriptletArguments(selector.substr(4, selector.size() - 5));
        if (!domains.empty() && !parseDomains(domains, ',', rule.domains))
            return RuleType::Invalid;
        return RuleType::Cosmetic;
    }
    const bool procedural = !isPlainSelector(selector);
    if (procedural && !isProceduralSelector(selector))
        return RuleType::Unsupported;
    if (!domains.empty() && !parseDomains(domains, ',', rule.domains))
        return RuleType::Invalid;
    // Procedural selectors are worked out by the page's script for the
    // sites their rules name; for every site, as uBlock Origin, never.
    if (procedural && std::none_of(rule.domains.begin(), rule.domains.end(),
                                   [](const DomainEntry &d) { return !d.negated; }))
        return RuleType::Unsupported;
    rule.selector = procedural ? kProceduralMark + std::string(selector) : std::string(selector);
    return RuleType::Cosmetic;
}

bool looksLikeHost(std::string_view p) {
    const auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    if (p.empty() || !alnum(p.front()) || !alnum(p.back()))
        return false;
    return std::all_of(p.begin(), p.end(),
                       [&](char c) { return alnum(c) || c == '.' || c == '-' || c == '_'; });
}

// The pattern between the anchors, as the index and the matcher read it.
RuleType parsePattern(std::string_view pattern, NetworkRule &rule) {
    if (pattern.size() >= 2 && pattern.front() == '/' && pattern.back() == '/') {
        rule.regex = true;
        rule.pattern = std::string(pattern.substr(1, pattern.size() - 2));
        return rule.pattern.empty() ? RuleType::Invalid : RuleType::Network;
    }
    // Telling case apart is for regular expressions only; on a plain
    // pattern it is a mistake, and the rule is dropped as other blockers
    // drop it.
    if (rule.matchCase)
        return RuleType::Invalid;
    if (pattern.substr(0, 2) == "||") {
        rule.anchorHost = true;
        pattern.remove_prefix(2);
    } else if (pattern.substr(0, 1) == "|") {
        rule.anchorLeft = true;
        pattern.remove_prefix(1);
    }
    if (!pattern.empty() && pattern.back() == '|') {
        rule.anchorRight = true;
        pattern.remove_suffix(1);
    }
    // Leading and trailing wildcards say nothing a search does not.
    const bool wildcards = pattern.find('*') != std::string_view::npos;
    while (!pattern.empty() && pattern.front() == '*') {
        pattern.remove_prefix(1);
        rule.anchorLeft = rule.anchorHost = false;
    }
    while (!pattern.empty() && pattern.back() == '*') {
        pattern.remove_suffix(1);
        rule.anchorRight = false;
    }
    for (const char c : pattern)
        if (c == ' ' || c == '\t' || static_cast<unsigned char>(c) < 0x20)
            return RuleType::Invalid;
    if (rule.anchorHost && !isAscii(pattern)) {
        // Requests name hosts in their ASCII form.
        const std::size_t hostEnd = std::min(pattern.find_first_of("/^:*|?"), pattern.size());
        const std::string host = asciiHost(pattern.substr(0, hostEnd));
        if (host.empty())
            return RuleType::Invalid;
        rule.pattern = host + asciiLowered(pattern.substr(hostEnd));
    } else {
        rule.pattern = asciiLowered(pattern);
    }
    // A bare host name, as in a hosts file, names that host: "example.com"
    // is "||example.com^", as other blockers read it.
    // A bare name is a host to uBlock Origin when its last label could be a
    // top-level domain's: two characters or more.
    const std::size_t lastDot = rule.pattern.rfind('.');
    const bool shortLastLabel =
        lastDot != std::string::npos && rule.pattern.size() - lastDot - 1 < 2;
    if (!rule.anchorLeft && !rule.anchorHost && !rule.anchorRight && !wildcards &&
        looksLikeHost(rule.pattern) && shortLastLabel) {
        rule.bareWords = true;
        return RuleType::Network;
    }
    if (!rule.anchorLeft && !rule.anchorHost && !rule.anchorRight && !wildcards &&
        looksLikeHost(rule.pattern)) {
        rule.anchorHost = true;
        rule.anchorRight = false;
        rule.pattern += '^';
    }
    return RuleType::Network;
}

}  // namespace

bool isIpv6Literal(std::string_view d) {
    if (d.size() < 3 || d.front() != '[' || d.back() != ']')
        return false;
    return std::all_of(d.begin() + 1, d.end() - 1, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
    });
}

bool isPlainSelector(std::string_view s) {
    if (s.empty() || s.size() > 1024 || s.front() == '^' || s.substr(0, 4) == "+js(")
        return false;
    for (const char c : s)
        if (c == '{' || c == '}' || c == ';' || c == '\n' || c == '\r' || c == '\0' || c == '<')
            return false;
    // A final backslash would escape what the style sheet puts after it.
    if (s.back() == '\\' || s.find("/*") != std::string_view::npos)
        return false;
    for (const std::string_view p : kProcedural)
        if (s.find(p) != std::string_view::npos)
            return false;
    return true;
}

std::string scriptletArguments(std::string_view s) {
    std::string out = "[";
    for (std::size_t i = 0, count = 0; i < s.size(); ++count) {
        std::size_t begin = i;
        while (begin < s.size() && isBlank(s[begin]))
            ++begin;
        if (begin == s.size())
            break;
        std::string arg;
        bool quoted = false;
        const char quote = s[begin];
        if (quote == '"' || quote == '\'' || quote == '`') {
            // Quoted only when what follows the closing quote ends the
            // argument; otherwise the quote is the argument's own.
            const std::size_t close = unescaped(s, quote, begin + 1);
            std::size_t next = close + 1;
            while (next < s.size() && isBlank(s[next]))
                ++next;
            if (close < s.size() && (next >= s.size() || s[next] == ',')) {
                arg = unescapedArgument(s.substr(begin + 1, close - begin - 1), quote);
                i = next + 1;
                quoted = true;
            }
        }
        if (!quoted) {
            const std::size_t end = unescaped(s, ',', begin);
            std::size_t last = end;
            while (last > begin && isBlank(s[last - 1]))
                --last;
            arg = unescapedArgument(s.substr(begin, last - begin), ',');
            i = end + 1;
        }
        if (count == 0 && arg.size() > 3 && arg.compare(arg.size() - 3, 3, ".js") == 0)
            arg.resize(arg.size() - 3);
        if (count > 0)
            out += ',';
        appendJsonString(out, arg);
    }
    return out + ']';
}

bool isProceduralSelector(std::string_view s) {
    // The operators the page's script works out; uBlock Origin's others
    // (shadow roots, properties, media) are not.
    constexpr std::string_view kWorkedOut[] = {":has(",
                                               ":has-text(",
                                               ":-abp-has(",
                                               ":-abp-contains(",
                                               ":xpath(",
                                               ":style(",
                                               ":remove(",
                                               ":upward(",
                                               ":matches-css(",
                                               ":matches-path(",
                                               ":min-text-length(",
                                               ":watch-attr(",
                                               ":others(",
                                               ":if(",
                                               ":if-not(",
                                               ":nth-ancestor(",
                                               ":contains(",
                                               ":remove-attr(",
                                               ":remove-class(",
                                               ":matches-css-before(",
                                               ":matches-css-after("};
    constexpr std::string_view kBeyond[] = {":shadow",         ":spath(",
                                            ":matches-attr(",  ":matches-prop(",
                                            ":matches-media(", ":-abp-properties("};
    if (s.empty() || s.size() > 1024 || s.front() == '^' || s.substr(0, 4) == "+js(")
        return false;
    for (const char c : s)
        if (c == '\n' || c == '\r' || c == '\0')
            return false;
    for (const std::string_view p : kBeyond)
        if (s.find(p) != std::string_view::npos)
            return false;
    return std::any_of(std::begin(kWorkedOut), std::end(kWorkedOut),
                       [s](std::string_view p) { return s.find(p) != std::string_view::npos; });
}

SkipReason skipReasonOf(std::string_view line) {
    const auto has = [&](std::string_view s) { return line.find(s) != std::string_view::npos; };
    if (has("##+js(") || has("#@#+js("))
        return SkipReason::Scriptlet;
    if (has("##^") || has("#@#^"))
        return SkipReason::HtmlFiltering;
    if (has("#$#") || has("#%#") || has("#@$#") || has("#@%#"))
        return SkipReason::Other;
    if (has("##") || has("#@#") || has("#?#") || has("#@?#"))
        return SkipReason::Procedural;
    const std::size_t dollar = line.rfind('$');
    const std::string options =
        asciiLowered(dollar == std::string_view::npos ? std::string_view() : line.substr(dollar));
    const auto option = [&](std::string_view name) {
        return options.find(name) != std::string::npos;
    };
    if (option("csp"))
        return SkipReason::Csp;
    if (option("header"))
        return SkipReason::Header;
    if (option("permissions"))
        return SkipReason::Permissions;
    if (option("replace") || option("urltransform") || option("uritransform") || option("rewrite"))
        return SkipReason::Rewrite;
    if (option("urlskip"))
        return SkipReason::UrlSkip;
    return SkipReason::Other;
}

const char *skipReasonName(SkipReason reason) {
    constexpr const char *kNames[kSkipReasonCount] = {"scriptlets",
                                                      "procedural and other selectors",
                                                      "HTML filtering",
                                                      "$csp",
                                                      "$header",
                                                      "$permissions",
                                                      "$replace and the like",
                                                      "$urlskip",
                                                      "expressions RE2 cannot run",
                                                      "other"};
    return kNames[static_cast<std::size_t>(reason)];
}

std::uint8_t methodBitOfName(std::string_view name) {
    constexpr std::pair<std::string_view, std::uint8_t> kMethods[] = {
        {"connect", kConnect}, {"delete", kDelete}, {"get", kGet},   {"head", kHead},
        {"options", kOptions}, {"patch", kPatch},   {"post", kPost}, {"put", kPut}};
    const std::string lower = asciiLowered(name);
    for (const auto &[method, bit] : kMethods)
        if (lower == method)
            return bit;
    return 0;
}

std::string canonicalForm(const NetworkRule &rule) {
    std::vector<std::pair<std::uint64_t, bool>> domains;
    for (const DomainEntry &d : rule.domains)
        domains.emplace_back(d.hash, d.negated);
    std::sort(domains.begin(), domains.end());
    std::string form;
    for (const bool flag : {rule.exception, rule.important, rule.matchCase, rule.regex,
                            rule.anchorLeft, rule.anchorHost, rule.anchorRight})
        form += flag ? '1' : '0';
    form += ' ' + std::to_string(rule.kinds) + ' ' + std::to_string(rule.party) + ' ' +
            std::to_string(rule.cosmeticSwitches);
    for (const auto &[hash, negated] : domains)
        form += (negated ? " ~" : " ") + std::to_string(hash);
    std::vector<std::pair<std::uint64_t, bool>> targets;
    for (const DomainEntry &d : rule.targets)
        targets.emplace_back(d.hash, d.negated);
    std::sort(targets.begin(), targets.end());
    form += " to";
    for (const auto &[hash, negated] : targets)
        form += (negated ? " ~" : " ") + std::to_string(hash);
    form += ' ' + std::to_string(rule.methods) + ' ' + std::to_string(int(rule.modifier)) +
            (rule.alsoBlocks ? " b " : " - ") + rule.modifierValue;
    return form + '\n' + rule.pattern;
}

bool isOriginOnly(const NetworkRule &rule) {
    const bool anyAddress =
        rule.pattern.empty() ||
        (rule.anchorLeft && (rule.pattern == "http://" || rule.pattern == "https://"));
    return anyAddress && !rule.regex && !rule.anchorHost && !rule.anchorRight && !rule.matchCase &&
           rule.modifier == Modifier::None && rule.targets.empty() && rule.methods == 0 &&
           !rule.domains.empty() &&
           std::none_of(rule.domains.begin(), rule.domains.end(),
                        [](const DomainEntry &d) { return d.negated || d.entity; });
}

namespace {

// A rule as lists write them: the characters of addresses and options,
// and a host name has a dot.
bool plausibleRule(std::string_view line) {
    NetworkRule network;
    CosmeticRule cosmetic;
    switch (parseRule(line, network, cosmetic)) {
        case RuleType::Cosmetic:
        case RuleType::Unsupported:
            return true;
        case RuleType::Network:
            break;
        default:
            return false;
    }
    if (line.find('.') == std::string_view::npos &&
        line.find_first_of("/|^$*@") == std::string_view::npos)
        return false;
    return std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("-._~:/?#[]@!$&'()*+,;=%^|\\").find(c) != std::string_view::npos ||
               static_cast<unsigned char>(c) >= 0x80;
    });
}

}  // namespace

bool readsAsFilterList(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::size_t lines = 0;
    std::size_t rules = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.substr(0, 13) == "[Adblock Plus" || line.substr(0, 8) == "! Title:")
            return true;
        if (line.empty() || line.front() == '!' || line.substr(0, 2) == "# " || line == "#")
            continue;
        ++lines;
        rules += plausibleRule(line);
    }
    return rules > 0 && rules * 2 > lines;
}

std::string_view lineOfList(std::string_view list, std::uint32_t number) {
    if (number == 0)
        return {};
    std::size_t start = 0;
    for (std::uint32_t n = 1; n < number; ++n) {
        start = list.find('\n', start);
        if (start == std::string_view::npos)
            return {};
        ++start;
    }
    const std::size_t end = std::min(list.find('\n', start), list.size());
    std::string_view line = list.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

RuleType parseRule(std::string_view line, NetworkRule &rule, CosmeticRule &cosmetic) {
    line = trimmed(line);
    if (line.empty() || line.front() == '!' || line.front() == '[')
        return RuleType::None;
    if (line.size() > kMaxLineLength)
        return RuleType::Invalid;

    // Element hiding and its relatives, which all carry a '#' mark.
    // uBlock Origin reads Adblock Plus's "#?#" as "##".
    std::size_t markAt = std::string_view::npos;
    std::string_view found;
    for (const std::string_view mark : {"#@?#", "#@#", "#?#", "##"}) {
        const std::size_t at = line.find(mark);
        if (at < markAt) {
            markAt = at;
            found = mark;
        }
    }
    if (markAt != std::string_view::npos)
        return parseCosmetic(line, markAt, found.size(), found[1] == '@', cosmetic);
    for (const std::string_view mark : {"#$#", "#%#", "#@$#", "#@%#", "#+js"})
        if (line.find(mark) != std::string_view::npos)
            return RuleType::Unsupported;

    rule = NetworkRule();
    if (line.substr(0, 2) == "@@") {
        rule.exception = true;
        line.remove_prefix(2);
    }
    std::string_view pattern = line;
    const std::size_t dollar = optionsStart(line);
    if (dollar != std::string_view::npos) {
        pattern = line.substr(0, dollar);
        const RuleType options = parseOptions(line.substr(dollar + 1), rule);
        if (options != RuleType::Network)
            return options;
    }
    return parsePattern(pattern, rule);
}

}  // namespace quillow::filter
