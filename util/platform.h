// The few host facilities that differ between Windows and POSIX runtimes, behind one interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace OFE {

// The runtime's large file offset.
using pf_off_t = int64_t;

// fseek with a 64-bit offset; returns 0 on success.
int platform_seek64(FILE* stream, pf_off_t offset, int whence);
// ftell with a 64-bit result; -1 on failure.
pf_off_t platform_tell64(FILE* stream);
// True when the last failed open was refused because the system's table of open files is full.
bool platform_open_table_full(int error_number);
// Switches standard error to line buffering.
void platform_line_buffer_stderr();
// The program's name as a user types it: `path` (argv[0]) after its last directory separator, and on
// Windows without the ".exe" that the runtime adds.
std::string platform_program_name(const char* path);
// A read-only mapping of the whole regular file behind `stream`, with its length; null where the host
// cannot map it (or the file is empty). The bytes are those of the file as it is now.
const uint8_t* platform_map_file(FILE* stream, uint64_t& length);
// Releases a mapping made by platform_map_file.
void platform_unmap_file(const uint8_t* data, uint64_t length);
// Memory for a large array, of at least `bytes` bytes: where the host can, in huge pages, so that touching
// it for the first time costs few page faults. Null when none can be had. Released with platform_free_large.
void* platform_alloc_large(size_t bytes);
void platform_free_large(void* memory, size_t bytes);

}  // namespace OFE
