// The archive reader.
#include "archive/ar_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/pfile.h"

struct ar_reader {
    PFILE* input = nullptr;
    std::string name;
    AR_ERROR_HOOK hook = nullptr;
    ar_member* members = nullptr;
};

namespace {

constexpr char archive_magic[] = "!<arch>\n";

// The reader's messages share one buffer of 4096 bytes; longer texts are cut.
void report(ar_reader* reader, int level, const char* format, ...) {
    if (!reader->hook) return;
    static char message[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    reader->hook(reader, level, message);
}

}  // namespace

ar_reader* ar_open(const char* name, PFILE* input, AR_ERROR_HOOK hook) {
    auto* reader = new ar_reader();
    reader->input = input;
    reader->name = name ? name : "";
    reader->hook = hook;
    return reader;
}

bool ar_is_archive(ar_reader* reader) {
    FILE* stream = reader ? pffile(reader->input) : nullptr;
    if (!stream || pfseeko(stream, 0, SEEK_SET) != 0) return false;
    char magic[8];
    if (std::fread(magic, 1, sizeof magic, stream) != sizeof magic) return false;
    return std::memcmp(magic, archive_magic, sizeof magic) == 0;
}

void ar_read_index(ar_reader*) {}

const ar_member* ar_first_member(const ar_reader* reader) { return reader ? reader->members : nullptr; }

PFILE* ar_member_stream(ar_reader* reader, const ar_member* member) {
    FILE* stream = reader ? pffile(reader->input) : nullptr;
    if (!stream) return nullptr;
    if (pfseeko(stream, member->data_offset, SEEK_SET) != 0)
        report(reader, 3, "Cannot read file: '%s'", reader->name.c_str());
    return reader->input;
}

void ar_close(ar_reader* reader) { delete reader; }
