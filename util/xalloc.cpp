// Allocation helpers that end the program when memory runs out.
#include "util/xalloc.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    std::string text;
    const bool formatted = DIAG::vformat_text(text, format, args);
    va_end(args);
    if (!formatted) return -1;
    *out = static_cast<char*>(xmalloc(text.size() + 1));
    std::memcpy(*out, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

}  // namespace OFE
