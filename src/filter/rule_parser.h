#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillow::filter {

// What a request is for, as the lists name it. Bits of a rule's kinds.
enum class RequestKind : std::uint8_t {
    Other,
    Script,
    Image,
    Stylesheet,
    XmlHttpRequest,
    Subdocument,
    Object,
    Font,
    Media,
    WebSocket,
    Ping,
    Document,
    Popup,
};
constexpr std::uint16_t kindBit(RequestKind k) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(k));
}
// A rule that names no kind applies to every request a page makes; the
// page itself and a popup only by their own options.
constexpr std::uint16_t kAllKinds = (1u << 13) - 1;
constexpr std::uint16_t kDefaultKinds =
    kAllKinds & ~kindBit(RequestKind::Popup) & ~kindBit(RequestKind::Document);
// The list's name of a kind ("script", "xmlhttprequest", ...), or false.
bool requestKindFromName(std::string_view name, RequestKind &kind);

enum Party : std::uint8_t { kFirstParty = 1, kThirdParty = 2, kAnyParty = 3 };
enum CosmeticSwitch : std::uint8_t { kGenericHide = 1, kElementHide = 2 };

struct DomainEntry {
    std::string name;  // lower case; "google.*" stands for every public suffix
    bool negated = false;
};

// One network rule of Adblock Plus syntax, as written.
struct NetworkRule {
    std::string pattern;  // '*' and '^' as in the list; lower case unless matchCase
    bool exception = false;
    bool important = false;
    bool matchCase = false;
    bool regex = false;  // pattern is the regular expression between the slashes
    bool anchorLeft = false;
    bool anchorHost = false;
    bool anchorRight = false;
    bool badfilter = false;
    std::uint16_t kinds = kDefaultKinds;
    std::uint8_t party = kAnyParty;
    std::uint8_t cosmeticSwitches = 0;  // exceptions that turn element hiding off
    std::vector<DomainEntry> domains;
};

// One element-hiding rule: `domains##selector` or `domains#@#selector`.
struct CosmeticRule {
    std::string selector;
    bool exception = false;
    std::vector<DomainEntry> domains;
};

enum class RuleType { None, Network, Cosmetic, Unsupported, Invalid };

// Reads one line of a list. Comments and blank lines are None; rules this
// engine cannot apply faithfully (scriptlets, procedural selectors, rules
// that rewrite instead of refusing) are Unsupported, never half-read.
RuleType parseRule(std::string_view line, NetworkRule &network, CosmeticRule &cosmetic);

// The line's text without its `badfilter` option, to find the rule it cancels.
std::string withoutBadfilter(std::string_view line);

constexpr std::size_t kMaxLineLength = 8192;

}  // namespace quillow::filter
