// Preloaded into nmkite by the stream tests: at the program's first fwrite, cuts the file named by the
// environment variable NMKITE_SHRINK to nothing, as a build that rewrites an object while it is being
// listed would. Every write still goes to the C library's own fwrite.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" size_t fwrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    using FWRITE = size_t (*)(const void*, size_t, size_t, FILE*);
    static const auto real = reinterpret_cast<FWRITE>(dlsym(RTLD_NEXT, "fwrite"));
    static bool shrunk = false;
    if (!shrunk) {
        shrunk = true;
        const char* victim = std::getenv("NMKITE_SHRINK");
        if (victim && truncate(victim, 0) != 0) std::perror(victim);
    }
    return real(buffer, size, count, stream);
}
