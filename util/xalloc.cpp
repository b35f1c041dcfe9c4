// Allocation helpers that end the program when memory runs out.
#include "util/xalloc.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace OFE {

namespace {

[[noreturn]] void out_of_memory() {
    std::fputs("ERROR: out of memory\n", stderr);
    std::exit(1);
}

}  // namespace

void* xmalloc(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) out_of_memory();
    return p;
}

void* xrealloc(void* pointer, size_t n) {
    void* p = std::realloc(pointer, n ? n : 1);
    if (!p) out_of_memory();
    return p;
}

void* xcalloc(size_t count, size_t size) {
    void* p = std::calloc(count ? count : 1, size ? size : 1);
    if (!p) out_of_memory();
    return p;
}

int xasprintf(char** out, const char* format, ...) {
    *out = nullptr;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length >= 0) {
        *out = static_cast<char*>(xmalloc(static_cast<size_t>(length) + 1));
        std::vsnprintf(*out, static_cast<size_t>(length) + 1, format, again);
    }
    va_end(again);
    return length;
}

}  // namespace OFE
