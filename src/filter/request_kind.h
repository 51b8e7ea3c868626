#pragma once

#include <cstdint>
#include <string_view>

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
constexpr unsigned kRequestKindCount = 13;

constexpr std::uint16_t kindBit(RequestKind k) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(k));
}
// A rule that names no kind applies to every request a page makes; the
// page itself and a popup only by their own options.
constexpr std::uint16_t kAllKinds = (1u << kRequestKindCount) - 1;
constexpr std::uint16_t kDefaultKinds =
    kAllKinds & ~kindBit(RequestKind::Popup) & ~kindBit(RequestKind::Document);

// Whose request it is: the page's own site's, or another's.
enum Party : std::uint8_t { kFirstParty = 1, kThirdParty = 2, kAnyParty = 3 };
// $strict1p / $strict3p: the page's own host, or any other.
enum StrictParty : std::uint8_t { kSameHost = 4, kOtherHost = 8 };

// The kinds a list's option names ("script", "xhr", "all", ...); 0 when it
// names none.
std::uint16_t kindBitsOfName(std::string_view name);
// The kind a single name stands for ("script"), or false ("all", unknown).
bool requestKindFromName(std::string_view name, RequestKind &kind);

}  // namespace quillow::filter
