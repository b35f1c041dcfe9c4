// A shared library of the user's: it defines the C library xmalloc that libiberty-style code expects and
// counts the members of an archive through the installed object-file library.
#include <cstdlib>

#include "archive/ar_reader.h"
#include "util/pfile.h"
#include "util/xalloc.h"

extern "C" void* xmalloc(unsigned long n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) std::abort();
    return p;
}

// The number of members of the archive `path`, or -1 when it is not one.
extern "C" int ofe_plugin_count_members(const char* path) {
    OFE::PFILE* file = OFE::pfopen(path, "rb");
    if (!file) return -1;
    OFE::ar_reader* reader = OFE::ar_open(path, file, nullptr);
    int count = -1;
    if (OFE::ar_is_archive(reader)) {
        OFE::ar_read_index(reader);
        count = 0;
        for (const OFE::ar_member* m = OFE::ar_first_member(reader); m; m = m->next) ++count;
    }
    OFE::ar_close(reader);
    OFE::pfclose(file);
    // Both allocators in one program: the library's, in its namespace, and the C one defined above.
    std::free(OFE::xmalloc(16));
    std::free(xmalloc(16));
    return count;
}
