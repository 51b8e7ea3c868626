#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillow::filter {

// The neutral resources uBlock Origin serves in place of a tracker's file,
// as its js/redirect-resources.js names them: each resource's file name,
// and every name (its own and its aliases) a list's $redirect may use.
// Returns (name used in lists, file name) pairs.
std::vector<std::pair<std::string, std::string>> redirectResourceNames(std::string_view script);

}  // namespace quillow::filter
