// An arena for the archive reader: records, names and tables come from blocks released as a whole.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace OFE {

class AR_ARENA {
public:
    // `n` bytes aligned for any record; valid until the arena is destroyed.
    void* take(std::size_t n);
    // A NUL-terminated copy of `length` bytes of `text`.
    char* copy(const char* text, std::size_t length);

private:
    static constexpr std::size_t min_block = 1024;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace OFE
