// Fuzz target: arbitrary bytes read as an archive; every member is listed and dumped as an object.
#include <cstddef>
#include <cstdint>

#include "archive/ar_reader.h"
#include "fuzz_support.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

void ignore(ar_reader*, int, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_file(data, size);
    PFILE* input = pfopen(path.c_str(), "rb");
    if (!input) return 0;
    ar_reader* reader = ar_open("fuzz.a", input, ignore);
    if (ar_is_archive(reader)) {
        ar_read_index(reader);
        for (const ar_member* m = ar_first_member(reader); m; m = m->next)
            if (PFILE* stream = ar_member_stream(reader, m)) fuzz::exercise_object(stream, m->size, m->name);
    }
    ar_close(reader);
    pfclose(input);
    return 0;
}
