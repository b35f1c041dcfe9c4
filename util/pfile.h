// The file pool: named files behind handles, at most 15 open at once, reopened transparently;
// and the checked wrappers over the standard stream functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "util/platform.h"

namespace OFE {

struct PFILE_POOL;

// A read-only view of a whole file's bytes as the host maps them, released when its last holder lets go.
// While it lives, a file that shrinks under it ends the program with a fatal error naming the file instead
// of a signal (platform_guard_mapping).
struct PF_MAPPING {
    PF_MAPPING(const uint8_t* d, uint64_t n) : data(d), length(n) {}
    PF_MAPPING(const PF_MAPPING&) = delete;
    PF_MAPPING& operator=(const PF_MAPPING&) = delete;
    ~PF_MAPPING() {
        platform_unguard_mapping(data);
        platform_unmap_file(data, length);
    }
    const uint8_t* data;
    uint64_t length;
};

// One named file of the pool (or one of the three standard handles).
struct PFILE {
    PFILE_POOL* pool = nullptr;
    FILE* stream = nullptr;     // null while the pool has closed the file
    std::string name;
    bool has_name = false;
    std::string mode;           // after the first open: the mode that reopens without truncating
    pf_off_t position = 0;      // offset saved when the pool closed the file
    fpos_t saved_pos{};
    bool has_saved_pos = false;
    uint8_t pinned = 0;
    uint32_t reopen_count = 0;
    uint32_t stamp = 0;         // the pool clock at the last access
    size_t index = 0;           // place in the pool's handle table
    int slot = -1;              // place in the open-slot table, -1 when closed
    bool standard = false;      // stdin, stdout or stderr: never closed, evicted or released
    std::shared_ptr<const PF_MAPPING> mapping;  // the file's bytes, once mapped
    bool map_tried = false;
    bool spooled = false;       // a pipe's bytes, copied where they can be read again: never closed by the pool
};

// The mode that reopens a file first opened with `mode` without truncating it.
const char* pf_reopen_mode(const char* mode);

// Opens `name`; null (with nothing reported) when it cannot be opened or no slot can be made. A directory
// cannot be opened. Opened for reading only, a pipe, FIFO or terminal is read to its end at once and its
// bytes are kept where they can be read again, so that it reads like a file.
PFILE* pfopen(const char* name, const char* mode);
// The open stream of a handle, reopening it at its saved position if the pool closed it.
// Every use of a pool file goes through here; null when a reopen fails.
FILE* pffile(PFILE* handle);
// The bytes of a file opened for reading only, mapped on the first request and kept while the handle or
// any data map holds them; null for a file opened for writing, a standard handle, or a file the host
// cannot map (its bytes are then read through the stream).
std::shared_ptr<const PF_MAPPING> pfmap(PFILE* handle);
// Closes and releases a handle; does nothing for the standard handles. Returns fclose's result.
int pfclose(PFILE* handle);
PFILE* pfstdin();
PFILE* pfstdout();
PFILE* pfstderr();
// A pinned file is never closed by the pool.
void pfpin(PFILE* handle, int flag);
// The handle's name, or "" when it has none.
const char* pfname(const PFILE* handle);
// How many pool files are open now (the standard handles not counted).
int pf_open_count();

// Checked wrappers: misuse is reported as an internal error and the call returns 0 or -1.
size_t pfread(void* buffer, size_t size, size_t count, FILE* stream);
size_t pfwrite(const void* buffer, size_t size, size_t count, FILE* stream, bool quiet);
int pfseek(FILE* stream, long offset, int whence);
int pfseeko(FILE* stream, pf_off_t offset, int whence);
long pftell(FILE* stream);
pf_off_t pftello(FILE* stream);

}  // namespace OFE
