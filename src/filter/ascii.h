#pragma once

#include <string>
#include <string_view>

namespace quillow::filter {

// Lists and addresses are compared in ASCII lower case; other bytes stand
// as they are. Without a branch: addresses mix cases at random.
constexpr char asciiLower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return static_cast<char>(u + (static_cast<unsigned char>(u - 'A') < 26u) * 32u);
}

inline std::string asciiLowered(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = asciiLower(c);
    return out;
}

// A JSON string of `s`, quoted, as a page's script reads it.
inline void appendJsonString(std::string &out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace quillow::filter
