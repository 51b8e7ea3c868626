#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

namespace quillow::filter {

// An array the engine reads: built in memory, or a view into the compiled
// lists' file as it lies mapped from disk, whose pages stay the file's
// instead of becoming the program's own memory. The mapping belongs to
// the engine that holds the view.
template <typename T>
class FlatArray {
public:
    FlatArray() = default;
    FlatArray(std::vector<T> items) { *this = std::move(items); }
    FlatArray &operator=(std::vector<T> items) {
        owned_ = std::move(items);
        data_ = owned_.data();
        size_ = owned_.size();
        return *this;
    }
    FlatArray(const FlatArray &other) { *this = other; }
    FlatArray &operator=(const FlatArray &other) {
        if (this == &other)
            return *this;
        if (other.isView()) {
            view(other.data_, other.size_);
        } else {
            owned_ = other.owned_;
            data_ = owned_.data();
            size_ = owned_.size();
        }
        return *this;
    }
    // A moved vector keeps its buffer, and a view its place.
    FlatArray(FlatArray &&other) noexcept { *this = std::move(other); }
    FlatArray &operator=(FlatArray &&other) noexcept {
        owned_ = std::move(other.owned_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
        return *this;
    }

    void view(const T *data, std::size_t size) {
        owned_ = std::vector<T>();
        data_ = data;
        size_ = size;
    }

    const T *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T &operator[](std::size_t i) const { return data_[i]; }
    const T *begin() const { return data_; }
    const T *end() const { return data_ + size_; }

private:
    bool isView() const { return data_ != owned_.data(); }

    std::vector<T> owned_;
    const T *data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace quillow::filter
