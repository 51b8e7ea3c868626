#include "filter/redirect_resources.h"

#include <algorithm>

namespace quillow::filter {

namespace {

// The quoted strings of `text`, in order.
std::vector<std::string_view> quoted(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char q = text[i];
        if (q != '\'' && q != '"')
            continue;
        const std::size_t end = text.find(q, i + 1);
        if (end == std::string_view::npos)
            break;
        out.push_back(text.substr(i + 1, end - i - 1));
        i = end;
    }
    return out;
}

// A file name of the resources' folder: no folder of its own, no way out.
bool plainFileName(std::string_view name) {
    return !name.empty() && name.size() <= 100 && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
           });
}

// Drops line and block comments.
std::string withoutComments(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 2) == "//") {
            i = std::min(text.find('\n', i), text.size()) - 1;
            continue;
        }
        if (text.substr(i, 2) == "/*") {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 1;
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::vector<ResourceName> redirectResourceNames(std::string_view script) {
    // Entries read "[ 'name', { alias: 'a' or [ 'a', 'b' ], ... } ]".
    const std::string text = withoutComments(script);
    std::vector<ResourceName> out;
    for (std::size_t at = text.find("[ '"); at != std::string::npos;
         at = text.find("[ '", at + 1)) {
        const std::size_t open = text.find('{', at);
        const std::size_t close = text.find('}', open);
        if (open == std::string::npos || close == std::string::npos)
            break;
        const std::vector<std::string_view> head =
            quoted(std::string_view(text).substr(at, open - at));
        if (head.size() != 1 || !plainFileName(head[0]))
            continue;
        const std::string file(head[0]);
        const std::string_view body = std::string_view(text).substr(open, close - open);
        const bool forXhr = body.find("data:") != std::string_view::npos;
        out.push_back({file, file, forXhr});
        const std::size_t alias = body.find("alias:");
        if (alias != std::string_view::npos) {
            std::string_view value = body.substr(alias + 6);
            const std::size_t end = value.find_first_not_of(" \t\n") != std::string_view::npos &&
                                            value[value.find_first_not_of(" \t\n")] == '['
                                        ? value.find(']')
                                        : value.find(',');
            for (const std::string_view a : quoted(value.substr(0, end)))
                out.push_back({std::string(a), file, forXhr});
        }
        at = close;
    }
    return out;
}

}  // namespace quillow::filter
