#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "filter/flat_array.h"

namespace quillow::filter {

// The bytes of a compiled cache: a file mapped from disk, or a copy. The
// engine read from them keeps them as long as it lives.
class CacheBytes {
public:
    virtual ~CacheBytes() = default;
    // At an address aligned for any of the cache's numbers.
    virtual std::string_view bytes() const = 0;
};

// A copy of bytes held in memory.
class CopiedCacheBytes : public CacheBytes {
public:
    explicit CopiedCacheBytes(std::string_view bytes)
        : words_((bytes.size() + 7) / 8), size_(bytes.size()) {
        if (!bytes.empty())
            std::memcpy(words_.data(), bytes.data(), bytes.size());
    }
    std::string_view bytes() const override {
        return std::string_view(reinterpret_cast<const char *>(words_.data()), size_);
    }

private:
    std::vector<std::uint64_t> words_;
    std::size_t size_;
};

// The compiled lists' file: a header naming what it was built from, then
// each table as its length and its bytes, each table's bytes aligned to 8,
// in this machine's byte order (a cache never travels). Reading trusts no
// length: a damaged or hostile file is refused, never read past its end;
// the tables are read where they lie, never copied.
class CacheWriter {
public:
    void number(std::uint64_t v) { out_.append(reinterpret_cast<const char *>(&v), sizeof v); }
    void text(std::string_view s) {
        number(s.size());
        out_.append(s.data(), s.size());
        out_.append((8 - out_.size() % 8) % 8, '\0');
    }
    template <typename T>
    void array(const FlatArray<T> &v) {
        static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8);
        number(v.size());
        out_.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(T));
        out_.append((8 - out_.size() % 8) % 8, '\0');
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class CacheReader {
public:
    explicit CacheReader(std::string_view in) : start_(in.data()), in_(in) {}

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
        const std::string_view t = bytes(number(), 1);
        s.assign(t.data(), t.size());
    }
    template <typename T>
    void array(FlatArray<T> &v) {
        static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8);
        const std::uint64_t n = number();
        // The length is checked against what is left before anything is
        // made of it.
        if (!ok_ || n > in_.size() / sizeof(T)) {
            ok_ = false;
            return;
        }
        const std::string_view b = bytes(n, sizeof(T));
        if (ok_)
            v.view(reinterpret_cast<const T *>(b.data()), n);
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return in_.empty(); }

private:
    // n items of `size` bytes, then the padding to the next 8.
    std::string_view bytes(std::uint64_t n, std::size_t size) {
        if (!ok_ || n > in_.size() / size || (reinterpret_cast<std::uintptr_t>(start_) % 8) != 0) {
            ok_ = false;
            return {};
        }
        const std::string_view out = in_.substr(0, n * size);
        const std::size_t padded = std::min<std::size_t>(in_.size(), (n * size + 7) / 8 * 8);
        in_.remove_prefix(padded);
        return out;
    }

    const char *start_;
    std::string_view in_;
    bool ok_ = true;
};

struct RuleTable;
void writeTable(CacheWriter &out, const RuleTable &table);
void readTable(CacheReader &in, RuleTable &table);

}  // namespace quillow::filter
