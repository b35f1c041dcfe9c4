// OALLOC: a per-class pool; objects of the class are carved from blocks and return to a free list,
// so reading and dropping many symbols does not go to the general heap each time.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace OFE {

template <class T>
class OALLOC {
public:
    static void* operator new(std::size_t size) { return pool().take(size); }
    static void operator delete(void* p, std::size_t size) { pool().give(p, size); }

private:
    struct POOL {
        struct FREE {
            FREE* next;
        };
        static constexpr std::size_t per_block = 256;
        std::vector<std::unique_ptr<std::byte[]>> blocks;
        FREE* free = nullptr;
        std::size_t used_in_block = per_block;
        std::size_t slot = 0;

        void* take(std::size_t size) {
            if (slot == 0) slot = (std::max(size, sizeof(FREE)) + alignof(std::max_align_t) - 1) &
                                  ~(alignof(std::max_align_t) - 1);
            if (size > slot) return ::operator new(size);  // a larger derived class
            if (free) {
                FREE* f = free;
                free = f->next;
                return f;
            }
            if (used_in_block == per_block) {
                blocks.emplace_back(new std::byte[slot * per_block]);
                used_in_block = 0;
            }
            return blocks.back().get() + slot * used_in_block++;
        }
        void give(void* p, std::size_t size) {
            if (!p) return;
            if (size > slot) {
                ::operator delete(p);
                return;
            }
            auto* f = static_cast<FREE*>(p);
            f->next = free;
            free = f;
        }
    };
    static POOL& pool() {
        static POOL p;
        return p;
    }
};

}  // namespace OFE
