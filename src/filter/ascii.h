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

}  // namespace quillow::filter
