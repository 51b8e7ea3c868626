#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filter/request_kind.h"
#include "filter/verdict.h"

namespace quillow::filter {

enum CosmeticSwitch : std::uint8_t { kGenericHide = 1, kElementHide = 2 };

// A site a rule names, kept as the hash of its name (lower case, ASCII, as
// hostHash() makes it): a list's long domain= lists cost no more than
// their text.
struct DomainEntry {
    std::uint64_t hash = 0;
    bool negated = false;
    bool entity = false;    // "google.*": the name with any public suffix
    bool topLevel = false;  // "com": every site under it
};

// What a rule does besides blocking or allowing.
enum class Modifier : std::uint8_t {
    None,
    Redirect,     // a neutral resource in place of a blocked request
    RemoveParam,  // a query parameter taken off the request
};

// Request methods a rule may name (`$method=`), as bits.
enum MethodBit : std::uint8_t {
    kConnect = 1,
    kDelete = 2,
    kGet = 4,
    kHead = 8,
    kOptions = 16,
    kPatch = 32,
    kPost = 64,
    kPut = 128
};
std::uint8_t methodBitOfName(std::string_view name);

// One network rule of Adblock Plus syntax, as written.
struct NetworkRule {
    std::string pattern;  // '*' and '^' as in the list; lower case but in a regular expression
    bool exception = false;
    bool important = false;
    bool matchCase = false;  // a regular expression that tells upper from lower case
    bool regex = false;      // pattern is the regular expression between the slashes
    bool anchorLeft = false;
    bool anchorHost = false;
    bool anchorRight = false;
    bool badfilter = false;
    std::uint16_t kinds = kDefaultKinds;
    std::uint8_t party = kAnyParty;
    std::uint8_t cosmeticSwitches = 0;  // exceptions that turn element hiding off
    std::vector<DomainEntry> domains;
    // The request's host: $to= (with ~ for hosts left out) and $denyallow=
    // (hosts left out).
    std::vector<DomainEntry> targets;
    std::uint8_t methods = 0;  // 0: any
    // Its regular expression's program, in instructions, once compiled.
    std::uint32_t programSize = 0;
    Modifier modifier = Modifier::None;
    // A redirect's resource, as written (":priority" after it), or what
    // $removeparam takes off (empty: every parameter).
    std::string modifierValue;
    bool alsoBlocks = false;  // $redirect=: blocks as well as redirects
    // A name written bare whose last label is one character ("1.2.3.4"):
    // no host to uBlock Origin but a pattern found where its first word of
    // two characters or more (else its first word) is a word of the address.
    bool bareWords = false;
};

// One element-hiding rule: `domains##selector` or `domains#@#selector`.
// Before a procedural selector's text (":has-text()" and the like), which
// the page's script works out instead of a style sheet.
constexpr char kProceduralMark = '?';

struct CosmeticRule {
    // A scriptlet rule's is its arguments, name first, as a JSON array
    // (["set-constant","ads","false"]).
    std::string selector;
    bool exception = false;
    bool scriptlet = false;  // ##+js(...)
    std::vector<DomainEntry> domains;
    RuleRef ref;  // where a scriptlet rule is written
};

enum class RuleType { None, Network, Cosmetic, Unsupported, Invalid };

// Reads one line of a list. Comments and blank lines are None; rules this
// engine cannot apply faithfully (scriptlets, procedural selectors, rules
// that rewrite instead of refusing) are Unsupported, never half-read.
RuleType parseRule(std::string_view line, NetworkRule &network, CosmeticRule &cosmetic);

// Whether a selector no style sheet applies is made of procedural
// operators the page's script works out (":has-text()", ":upward()",
// ":remove()", ...), and nothing beyond them.
bool isProceduralSelector(std::string_view selector);

// The arguments of a scriptlet rule's "+js(...)" (what is inside the
// parentheses) as uBlock Origin reads them: separated by commas, each
// trimmed, quoted by ', " or ` when it holds commas, a separator escaped by
// a backslash; the name loses a ".js" ending. As a JSON array.
std::string scriptletArguments(std::string_view inside);

// Why a rule this engine understands is not applied.
enum class SkipReason : std::uint8_t {
    Scriptlet,      // ##+js(...)
    Procedural,     // :has-text(), :style() and the like
    HtmlFiltering,  // ##^
    Csp,
    Header,
    Permissions,
    Rewrite,  // $replace, $urltransform, $rewrite
    UrlSkip,
    Expression,  // a regular expression RE2 cannot run in linear time
    Other,
};
constexpr std::size_t kSkipReasonCount = 10;
SkipReason skipReasonOf(std::string_view line);
const char *skipReasonName(SkipReason reason);

// What a rule does, in one form whatever the order and case of its
// options: a `badfilter` rule cancels the rules of its own form.
std::string canonicalForm(const NetworkRule &rule);

// Whether a rule is for every address (or every http: or https: one) from
// the sites its domain= names, with no other condition: uBlock Origin reads
// it as one rule a site, so a `badfilter` rule of its form names the sites
// it cancels it for.
bool isOriginOnly(const NetworkRule &rule);

// An IPv6 address as hosts are written with one: "[::1]".
bool isIpv6Literal(std::string_view host);

// A selector a style sheet can apply and that cannot break out of it.
bool isPlainSelector(std::string_view selector);

// Whether a downloaded text is a filter list, not a web page or an error
// message: its header says so ("[Adblock Plus", "! Title:"), or more than
// half of its lines that are not comments read as rules (a bare word or a
// JSON object reads as none).
bool readsAsFilterList(std::string_view text);

// Line `number` (from 1) of a list's text, without its line end; empty
// when the list is shorter.
std::string_view lineOfList(std::string_view list, std::uint32_t number);

constexpr std::size_t kMaxLineLength = 8192;

}  // namespace quillow::filter
