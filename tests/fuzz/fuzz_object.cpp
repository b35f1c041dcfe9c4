// Fuzz targets fuzz_object and fuzz_archive: arbitrary bytes as an input file of nmkite, listed in every form as
// the tool lists them. In fuzz_archive (NMKITE_FUZZ_ARCHIVE), bytes that do not start with the archive magic get
// it put in front, so that every input reaches the archive reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
#ifdef NMKITE_FUZZ_ARCHIVE
    static const char magic[] = "!<arch>\n";
    if (size < sizeof magic - 1 || std::memcmp(data, magic, sizeof magic - 1) != 0)
        bytes.insert(bytes.begin(), magic, magic + sizeof magic - 1);
#endif
    fuzz::list_in_every_form(fuzz::scratch_file(bytes.data(), bytes.size()));
    return 0;
}
