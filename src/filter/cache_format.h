#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quillow::filter {

// The compiled lists' file: a header naming what it was built from, then
// each table as its length and its bytes, in this machine's byte order (a
// cache never travels). Reading trusts no length: a damaged or hostile
// file is refused, never read past its end nor allowed to ask for more
// memory than it holds.
class CacheWriter {
public:
    void number(std::uint64_t v) { out_.append(reinterpret_cast<const char *>(&v), sizeof v); }
    void text(std::string_view s) {
        number(s.size());
        out_.append(s.data(), s.size());
    }
    template <typename T>
    void vector(const std::vector<T> &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        number(v.size());
        out_.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(T));
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class CacheReader {
public:
    explicit CacheReader(std::string_view in) : in_(in) {}

    std::uint64_t number() {
        std::uint64_t v = 0;
        if (in_.size() < sizeof v) {
            ok_ = false;
            return 0;
        }
        std::memcpy(&v, in_.data(), sizeof v);
        in_.remove_prefix(sizeof v);
        return v;
    }
    void text(std::string &s) {
        const std::uint64_t n = number();
        if (!ok_ || n > in_.size()) {
            ok_ = false;
            return;
        }
        s.assign(in_.data(), n);
        in_.remove_prefix(n);
    }
    template <typename T>
    void vector(std::vector<T> &v) {
        static_assert(std::is_trivially_copyable_v<T>);
        const std::uint64_t n = number();
        // The length is checked against what is left before anything is
        // allocated for it.
        if (!ok_ || n > in_.size() / sizeof(T)) {
            ok_ = false;
            return;
        }
        v.resize(n);
        if (n)
            std::memcpy(static_cast<void *>(v.data()), in_.data(), n * sizeof(T));
        in_.remove_prefix(n * sizeof(T));
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return in_.empty(); }

private:
    std::string_view in_;
    bool ok_ = true;
};

}  // namespace quillow::filter
