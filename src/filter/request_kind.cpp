#include "filter/request_kind.h"

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

}  // namespace

std::uint16_t kindBitsOfName(std::string_view name) {
    for (const KindName &k : kKindNames)
        if (k.name == name)
            return k.bits;
    return 0;
}

bool requestKindFromName(std::string_view name, RequestKind &kind) {
    const std::uint16_t bits = kindBitsOfName(name);
    for (unsigned i = 0; i < kRequestKindCount; ++i) {
        if (bits == (1u << i)) {
            kind = static_cast<RequestKind>(i);
            return true;
        }
    }
    return false;
}

}  // namespace quillow::filter
