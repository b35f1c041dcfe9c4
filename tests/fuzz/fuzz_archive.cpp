// Fuzz target: arbitrary bytes as an archive, listed in every form as the tool lists archives. Bytes that do
// not start with the archive magic get it put in front, so that every input reaches the archive reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char magic[] = "!<arch>\n";
    constexpr size_t magic_size = sizeof magic - 1;
    if (size >= magic_size && std::memcmp(data, magic, magic_size) == 0) {
        fuzz::list_in_every_form(fuzz::scratch_file(data, size));
        return 0;
    }
    std::vector<uint8_t> archive(magic, magic + magic_size);
    archive.insert(archive.end(), data, data + size);
    fuzz::list_in_every_form(fuzz::scratch_file(archive.data(), archive.size()));
    return 0;
}
