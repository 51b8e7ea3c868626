#pragma once

#include <re2/re2.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "filter/network_index.h"

namespace quillow::filter {

// A $redirect's value: "name", "name:priority", "%name" (a data: address
// in uBlock Origin, the same resource here).
struct ParsedRedirect {
    std::size_t tokenStart = 0;
    std::string_view token;
    std::int32_t priority = 0;
};
ParsedRedirect parseRedirectValue(std::string_view value);

// A $removeparam's value: a name, "/expression/" (with "i", any case),
// "|start" (an old form: any case), each perhaps after "~" (every other
// parameter); empty: every parameter.
struct ParsedParam {
    std::uint8_t form = ModifierRule::kName;
    bool negated = false;
    std::string_view name;
    std::string regex;
    bool caseless = false;
};
ParsedParam parseParamValue(std::string_view value);
re2::RE2::Options paramRegexOptions(bool caseless);

// The word an address holds whenever the parameter a $removeparam value
// names is in it (its name's longest run of letters and digits), for the
// index; 0 when there is none to be sure of (every parameter, every other).
std::uint64_t paramWord(std::string_view value);

}  // namespace quillow::filter
