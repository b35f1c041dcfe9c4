// LARGE_ARRAY: a growable array of plain values for lists that may hold millions of entries. Its memory
// comes from platform_alloc_large (huge pages where the host has them) once it is large; entries past
// the size are not initialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "util/platform.h"
#include "util/xalloc.h"

namespace OFE {

template <class T>
class LARGE_ARRAY {
    static_assert(std::is_trivially_copyable_v<T>, "LARGE_ARRAY holds plain values only");

public:
    LARGE_ARRAY() = default;
    LARGE_ARRAY(const LARGE_ARRAY&) = delete;
    LARGE_ARRAY& operator=(const LARGE_ARRAY&) = delete;
    ~LARGE_ARRAY() { release(); }

    // Room for `n` entries; the entries held are kept. Running out of memory ends the program (xmalloc).
    void reserve(size_t n) {
        if (n <= capacity_) return;
        const size_t bytes = n <= SIZE_MAX / sizeof(T) ? n * sizeof(T) : SIZE_MAX;
        void* p = bytes >= large_bytes ? platform_alloc_large(bytes) : nullptr;
        const bool large = p != nullptr;
        if (!large) p = xmalloc(bytes);
        if (size_ > 0) std::memcpy(p, data_, size_ * sizeof(T));
        release();
        data_ = static_cast<T*>(p);
        capacity_ = n;
        large_ = large;
    }
    // `n` entries; new ones are not initialised.
    void resize(size_t n) {
        if (n > capacity_) reserve(n > 2 * capacity_ ? n : 2 * capacity_);
        size_ = n;
    }
    void push_back(const T& value) {
        if (size_ == capacity_) reserve(capacity_ < 16 ? 16 : 2 * capacity_);
        data_[size_++] = value;
    }
    void clear() { size_ = 0; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

private:
    // Below this size the ordinary heap serves.
    static constexpr size_t large_bytes = size_t{1} << 21;

    void release() {
        if (large_)
            platform_free_large(data_, capacity_ * sizeof(T));
        else
            std::free(data_);
    }

    T* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool large_ = false;  // the memory came from platform_alloc_large
};

}  // namespace OFE
