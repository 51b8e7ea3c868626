#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillow::filter {

// The neutral resources uBlock Origin serves in place of a tracker's file,
// as its js/redirect-resources.js names them: each resource's file name,
// and every name (its own and its aliases) a list's $redirect may use.
struct ResourceName {
    std::string name;  // as lists name it
    std::string file;  // in web_accessible_resources/
    // Whether uBlock Origin can hand it to a script's own request (it keeps
    // its data): those it cannot stay blocked.
    bool forXhr = true;
};
std::vector<ResourceName> redirectResourceNames(std::string_view script);

}  // namespace quillow::filter
