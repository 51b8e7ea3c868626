#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillow::filter {

// Walks a list's lines as uBlock Origin on Chromium reads them: the
// `!#if` / `!#else` / `!#endif` sections it evaluates with `ext_ublock`,
// `env_chromium` and `cap_user_stylesheet` true and every other token
// false (`!`, `&&`, `||` and brackets as in the lists). Lines of sections
// that are not read, and the directives themselves, are passed over; the
// `!#include` lines of sections that are read are collected.
class ListReader {
public:
    explicit ListReader(std::string_view text) : text_(text) {}

    // The next line to read as a rule, with its number from 1; false at
    // the end.
    bool next(std::string_view &line, std::uint32_t &number);
    // The files `!#include` named in sections that are read, as written.
    const std::vector<std::string> &includes() const { return includes_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::uint32_t number_ = 0;
    // One entry per open `!#if`: whether its section is read now, and
    // whether the one around it is.
    std::vector<std::pair<bool, bool>> sections_;
    std::vector<std::string> includes_;
};

// Whether a `!#if` condition holds for uBlock Origin on Chromium.
bool conditionHolds(std::string_view condition);

}  // namespace quillow::filter
