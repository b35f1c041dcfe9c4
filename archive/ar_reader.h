// The archive reader: recognises "!<arch>\n" files and lists their members in archive order.
#pragma once

#include <cstdint>

namespace OFE {

struct PFILE;
struct ar_reader;

// One member of an archive.
struct ar_member {
    const char* name = "";      // resolved name
    int32_t date = 0;
    uint64_t size = 0;          // byte length of the member data (archives may exceed 4 GiB)
    uint64_t data_offset = 0;   // file offset of the first data byte
    ar_member* next = nullptr;
};

// Called for every problem the reader finds: level 1 archive structure, 3 member seek failure.
using AR_ERROR_HOOK = void (*)(ar_reader* reader, int level, const char* message);

// A reader on an open handle; the handle stays the caller's. The name is copied.
ar_reader* ar_open(const char* name, PFILE* input, AR_ERROR_HOOK hook);
// True when the file starts with "!<arch>\n"; false without a handle, on a failed seek or a short file.
bool ar_is_archive(ar_reader* reader);
// Reads the special members and builds the member list.
void ar_read_index(ar_reader* reader);
// The first member in archive order (follow `next`), or null.
const ar_member* ar_first_member(const ar_reader* reader);
// Positions the archive's handle at the member's data and returns it; null without a handle.
PFILE* ar_member_stream(ar_reader* reader, const ar_member* member);
// Releases the reader and everything it allocated; the caller's handle stays open.
void ar_close(ar_reader* reader);

}  // namespace OFE
