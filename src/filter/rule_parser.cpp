#include "filter/rule_parser.h"

#include <algorithm>
#include <cctype>

namespace quillow::filter {

namespace {

struct KindName {
    std::string_view name;
    std::uint16_t bits;
};

constexpr KindName kKindNames[] = {
    {"script", kindBit(RequestKind::Script)},
    {"image", kindBit(RequestKind::Image)},
    {"stylesheet", kindBit(RequestKind::Stylesheet)},
    {"css", kindBit(RequestKind::Stylesheet)},
    {"xmlhttprequest", kindBit(RequestKind::XmlHttpRequest)},
    {"xhr", kindBit(RequestKind::XmlHttpRequest)},
    {"subdocument", kindBit(RequestKind::Subdocument)},
    {"frame", kindBit(RequestKind::Subdocument)},
    {"object", kindBit(RequestKind::Object)},
    {"object-subrequest", kindBit(RequestKind::Object)},
    {"font", kindBit(RequestKind::Font)},
    {"media", kindBit(RequestKind::Media)},
    {"websocket", kindBit(RequestKind::WebSocket)},
    {"ping", kindBit(RequestKind::Ping)},
    {"beacon", kindBit(RequestKind::Ping)},
    {"other", kindBit(RequestKind::Other)},
    {"popup", kindBit(RequestKind::Popup)},
    {"document", kindBit(RequestKind::Document)},
    {"doc", kindBit(RequestKind::Document)},
    {"all", kAllKinds},
};

// Options whose rules do something other than refuse or allow a request.
constexpr std::string_view kUnsupportedOptions[] = {"redirect",
                                                    "redirect-rule",
                                                    "rewrite",
                                                    "csp",
                                                    "removeparam",
                                                    "queryprune",
                                                    "method",
                                                    "to",
                                                    "denyallow",
                                                    "header",
                                                    "permissions",
                                                    "replace",
                                                    "urltransform",
                                                    "uritransform",
                                                    "genericblock",
                                                    "specifichide",
                                                    "shide",
                                                    "inline-script",
                                                    "inline-font",
                                                    "empty",
                                                    "mp4",
                                                    "cname",
                                                    "webrtc",
                                                    "popunder",
                                                    "strict1p",
                                                    "strict3p",
                                                    "ipaddress",
                                                    "urlskip",
                                                    "sitekey",
                                                    "rewrite",
                                                    "xmlhttprequest-subrequest",
                                                    "webrtc",
                                                    "elemhide-subrequest"};

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool validDomainName(std::string_view d) {
    if (d.empty() || d.size() > 253)
        return false;
    for (const char c : d) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '-' || c == '_' || c == '*'))
            return false;
    }
    return true;
}

// "a.com|~b.a.com" (network) or "a.com,~b.a.com" (element hiding).
bool parseDomains(std::string_view text, char separator, std::vector<DomainEntry> &out) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view item = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (item.empty())
            continue;
        DomainEntry entry;
        if (item.front() == '~') {
            entry.negated = true;
            item.remove_prefix(1);
        }
        entry.name = lowered(item);
        // A wildcard stands only for the public suffix: "google.*".
        const std::size_t star = entry.name.find('*');
        if (star != std::string::npos &&
            (star + 1 != entry.name.size() || star < 2 || entry.name[star - 1] != '.'))
            return false;
        if (!validDomainName(entry.name))
            return false;
        out.push_back(std::move(entry));
    }
    return !out.empty();
}

bool isUnsupportedOption(std::string_view name) {
    return std::find(std::begin(kUnsupportedOptions), std::end(kUnsupportedOptions), name) !=
           std::end(kUnsupportedOptions);
}

RuleType parseOptions(std::string_view text, NetworkRule &rule) {
    std::uint16_t positive = 0;
    std::uint16_t negative = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view option = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (option.empty())
            return RuleType::Invalid;
        bool negated = false;
        if (option.front() == '~') {
            negated = true;
            option.remove_prefix(1);
        }
        std::string_view value;
        const std::size_t eq = option.find('=');
        if (eq != std::string_view::npos) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
        }
        const std::string name = lowered(option);
        if (name == "domain" || name == "from") {
            if (negated || !parseDomains(value, '|', rule.domains))
                return RuleType::Invalid;
            continue;
        }
        if (!value.empty() || eq != std::string_view::npos) {
            return isUnsupportedOption(name) ? RuleType::Unsupported : RuleType::Invalid;
        }
        bool isKind = false;
        for (const KindName &k : kKindNames) {
            if (k.name == name) {
                (negated ? negative : positive) |= k.bits;
                isKind = true;
                break;
            }
        }
        if (isKind)
            continue;
        if (name == "third-party" || name == "3p" || name == "first-party" || name == "1p") {
            const bool third = (name == "third-party" || name == "3p") != negated;
            rule.party = third ? kThirdParty : kFirstParty;
        } else if (name == "match-case" && !negated) {
            rule.matchCase = true;
        } else if (name == "important" && !negated) {
            rule.important = true;
        } else if ((name == "elemhide" || name == "ehide") && !negated) {
            rule.cosmeticSwitches |= kElementHide;
        } else if ((name == "generichide" || name == "ghide") && !negated) {
            rule.cosmeticSwitches |= kGenericHide;
        } else if (name == "badfilter" && !negated) {
            rule.badfilter = true;
        } else {
            return isUnsupportedOption(name) ? RuleType::Unsupported : RuleType::Invalid;
        }
    }
    if (positive)
        rule.kinds = positive & ~negative;
    else if (negative)
        rule.kinds = kDefaultKinds & ~negative;
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

// Selectors a style sheet cannot apply, or that would break out of it.
bool plainSelector(std::string_view s) {
    if (s.empty() || s.size() > 1024 || s.front() == '^' || s.substr(0, 4) == "+js(")
        return false;
    for (const char c : s)
        if (c == '{' || c == '}' || c == ';' || c == '\n' || c == '\0' || c == '<')
            return false;
    if (s.find("/*") != std::string_view::npos)
        return false;
    static constexpr std::string_view kProcedural[] = {
        ":has(",         ":has-text(",     ":-abp-",
        ":xpath(",       ":style(",        ":remove(",
        ":upward(",      ":matches-",      ":min-text-length(",
        ":watch-attr(",  ":others(",       ":if(",
        ":if-not(",      ":nth-ancestor(", ":contains(",
        ":remove-attr(", ":remove-class(", ":shadow",
        ":spath("};
    for (const std::string_view p : kProcedural)
        if (s.find(p) != std::string_view::npos)
            return false;
    return true;
}

RuleType parseCosmetic(std::string_view line, std::size_t at, std::size_t markLength,
                       bool exception, CosmeticRule &rule) {
    rule = CosmeticRule();
    rule.exception = exception;
    const std::string_view domains = line.substr(0, at);
    const std::string_view selector = trimmed(line.substr(at + markLength));
    if (!plainSelector(selector))
        return RuleType::Unsupported;
    if (!domains.empty() && !parseDomains(domains, ',', rule.domains))
        return RuleType::Invalid;
    rule.selector = std::string(selector);
    return RuleType::Cosmetic;
}

bool looksLikeHost(std::string_view p) {
    if (p.empty() || !std::isalnum(static_cast<unsigned char>(p.front())) ||
        !std::isalnum(static_cast<unsigned char>(p.back())))
        return false;
    for (const char c : p)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_'))
            return false;
    return true;
}

}  // namespace

bool requestKindFromName(std::string_view name, RequestKind &kind) {
    for (const KindName &k : kKindNames) {
        if (k.name == name && k.bits != kAllKinds) {
            for (unsigned i = 0; i < 13; ++i)
                if (k.bits == (1u << i)) {
                    kind = static_cast<RequestKind>(i);
                    return true;
                }
        }
    }
    return false;
}

std::string withoutBadfilter(std::string_view line) {
    const std::size_t dollar = line.rfind('$');
    if (dollar == std::string_view::npos)
        return std::string(line);
    std::string out(line.substr(0, dollar));
    std::string options;
    std::string_view rest = line.substr(dollar + 1);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        if (option != "badfilter") {
            if (!options.empty())
                options += ',';
            options += option;
        }
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    if (!options.empty())
        out += '$' + options;
    return out;
}

RuleType parseRule(std::string_view line, NetworkRule &rule, CosmeticRule &cosmetic) {
    line = trimmed(line);
    if (line.empty() || line.front() == '!' || line.front() == '[')
        return RuleType::None;
    if (line.size() > kMaxLineLength)
        return RuleType::Invalid;

    // Element hiding and its relatives, which all carry a '#' mark.
    for (const std::string_view mark : {"#@#", "##"}) {
        const std::size_t at = line.find(mark);
        if (at != std::string_view::npos)
            return parseCosmetic(line, at, mark.size(), mark == "#@#", cosmetic);
    }
    for (const std::string_view mark : {"#?#", "#$#", "#%#", "#@?#", "#@$#", "#@%#", "#+js"})
        if (line.find(mark) != std::string_view::npos)
            return RuleType::Unsupported;

    rule = NetworkRule();
    if (line.substr(0, 2) == "@@") {
        rule.exception = true;
        line.remove_prefix(2);
    }
    std::string_view pattern = line;
    // Options follow the last '$'; one with a '/' after it is part of a
    // regular expression ("/ads$/").
    std::size_t dollar = line.rfind('$');
    if (dollar != std::string_view::npos && line.find('/', dollar) != std::string_view::npos) {
        const std::size_t regexEnd = line.rfind("/$");
        dollar = regexEnd == std::string_view::npos ? std::string_view::npos : regexEnd + 1;
    }
    if (dollar != std::string_view::npos) {
        pattern = line.substr(0, dollar);
        const RuleType options = parseOptions(line.substr(dollar + 1), rule);
        if (options != RuleType::Network)
            return options;
    }

    if (pattern.size() >= 2 && pattern.front() == '/' && pattern.back() == '/') {
        rule.regex = true;
        rule.pattern = std::string(pattern.substr(1, pattern.size() - 2));
        return rule.pattern.empty() ? RuleType::Invalid : RuleType::Network;
    }
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
    rule.pattern = rule.matchCase ? std::string(pattern) : lowered(pattern);
    // A bare host name, as in a hosts file, names that host: "example.com"
    // is "||example.com^", as other blockers read it.
    if (!rule.anchorLeft && !rule.anchorHost && looksLikeHost(rule.pattern)) {
        rule.anchorHost = true;
        rule.anchorRight = false;
        rule.pattern += '^';
    }
    return RuleType::Network;
}

}  // namespace quillow::filter
