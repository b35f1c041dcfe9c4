// The archive reader's arena.
#include "archive/ar_arena.h"

#include <algorithm>
#include <cstring>

namespace OFE {

void* AR_ARENA::take(std::size_t n) {
    constexpr std::size_t align = alignof(std::max_align_t);
    n = (n + align - 1) & ~(align - 1);
    if (blocks_.empty() || capacity_ - used_ < n) {
        capacity_ = std::max(n, min_block);
        blocks_.emplace_back(new std::byte[capacity_]);
        used_ = 0;
    }
    void* p = blocks_.back().get() + used_;
    used_ += n;
    return p;
}

char* AR_ARENA::copy(const char* text, std::size_t length) {
    auto* p = static_cast<char*>(take(length + 1));
    std::memcpy(p, text, length);
    p[length] = '\0';
    return p;
}

}  // namespace OFE
