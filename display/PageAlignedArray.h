#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

// A zero-filled array that starts on a 4096-byte boundary. The transform's arrays are laid
// out from page boundaries on purpose: where a load and an earlier store lie a multiple of
// 4096 bytes apart, the processor may hold the load back as if they overlapped, and with
// wherever the heap happened to put them the transform's time varied by a third.
namespace sonotrap {

template <typename T>
class PageAlignedArray {
public:
    static constexpr size_t kPage = 4096;

    PageAlignedArray() = default;
    explicit PageAlignedArray(size_t count) : size_(count) {
        if (count == 0) return;
        data_.reset(static_cast<T*>(std::aligned_alloc(kPage, (count * sizeof(T) + kPage - 1) / kPage * kPage)));
        if (!data_) throw std::bad_alloc();
        std::fill(data_.get(), data_.get() + count, T{});
    }

    PageAlignedArray(const PageAlignedArray& other) : PageAlignedArray(other.size_) {
        std::copy(other.data(), other.data() + size_, data());
    }
    PageAlignedArray(PageAlignedArray&&) noexcept = default;
    PageAlignedArray& operator=(const PageAlignedArray& other) { return *this = PageAlignedArray(other); }
    PageAlignedArray& operator=(PageAlignedArray&&) noexcept = default;

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }

private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T[], Free> data_;
    size_t size_ = 0;
};

}  // namespace sonotrap
