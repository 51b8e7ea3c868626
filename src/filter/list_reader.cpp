#include "filter/list_reader.h"

#include <algorithm>

namespace quillow::filter {

namespace {

// The condition's grammar, read from left to right:
//   or := and ("||" and)*;  and := unary ("&&" unary)*;
//   unary := "!" unary | "(" or ")" | token
class Condition {
public:
    explicit Condition(std::string_view text) : text_(text) {}
    bool value() {
        const bool v = orExpression();
        return ok_ && at_ == text_.size() && v;
    }

private:
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t'))
            ++at_;
    }
    bool eat(std::string_view s) {
        skipBlanks();
        if (text_.substr(at_, s.size()) != s)
            return false;
        at_ += s.size();
        return true;
    }
    bool orExpression() {
        bool v = andExpression();
        while (ok_ && eat("||"))
            v = andExpression() || v;
        return v;
    }
    bool andExpression() {
        bool v = unary();
        while (ok_ && eat("&&"))
            v = unary() && v;
        return v;
    }
    bool unary() {
        // Nesting past this is no list's.
        if (++depth_ > 64) {
            ok_ = false;
            return false;
        }
        bool v = false;
        if (eat("!")) {
            v = !unary();
        } else if (eat("(")) {
            v = orExpression();
            ok_ = ok_ && eat(")");
        } else {
            skipBlanks();
            const std::size_t start = at_;
            while (at_ < text_.size() &&
                   ((text_[at_] >= 'a' && text_[at_] <= 'z') ||
                    (text_[at_] >= 'A' && text_[at_] <= 'Z') ||
                    (text_[at_] >= '0' && text_[at_] <= '9') || text_[at_] == '_'))
                ++at_;
            const std::string_view token = text_.substr(start, at_ - start);
            ok_ = ok_ && !token.empty();
            v = token == "ext_ublock" || token == "env_chromium" || token == "cap_user_stylesheet";
        }
        --depth_;
        skipBlanks();
        return v;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int depth_ = 0;
    bool ok_ = true;
};

std::string_view trimmedLine(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

}  // namespace

bool conditionHolds(std::string_view condition) {
    return Condition(condition).value();
}

bool ListReader::next(std::string_view &line, std::uint32_t &number) {
    while (at_ < text_.size()) {
        const std::size_t end = std::min(text_.find('\n', at_), text_.size());
        const std::string_view raw = text_.substr(at_, end - at_);
        at_ = end + 1;
        ++number_;
        const bool reading = sections_.empty() || sections_.back().first;
        const std::string_view l = trimmedLine(raw);
        if (l.substr(0, 2) == "!#") {
            if (l.substr(0, 5) == "!#if ") {
                sections_.emplace_back(reading && conditionHolds(l.substr(5)), reading);
            } else if (l == "!#else") {
                if (!sections_.empty())
                    sections_.back().first = sections_.back().second && !sections_.back().first;
            } else if (l == "!#endif") {
                if (!sections_.empty())
                    sections_.pop_back();
            } else if (l.substr(0, 10) == "!#include " && reading && includes_.size() < 16) {
                includes_.emplace_back(trimmedLine(l.substr(10)));
            }
            continue;
        }
        if (!reading)
            continue;
        line = raw;
        number = number_;
        return true;
    }
    return false;
}

}  // namespace quillow::filter
