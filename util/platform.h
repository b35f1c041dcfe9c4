// The few host facilities that differ between Windows and POSIX runtimes, behind one interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace OFE {

// Asks for the memory at `p` to be brought near the processor; only a hint.
inline void platform_prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

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
// Whether the open stream is a directory (POSIX runtimes open one for reading; nothing can be read).
bool platform_stream_is_directory(FILE* stream);
// Whether the open stream can seek: false for a pipe, a FIFO, a socket or a terminal.
bool platform_stream_seekable(FILE* stream);
// A seekable stream, positioned at 0, holding every byte that `stream` yields up to its end: a file in memory
// where the host has one, else a temporary file that goes away when it is closed. Null when none can be made.
FILE* platform_spool_stream(FILE* stream);

// Whether both paths name one existing file (symbolic links followed).
bool platform_same_file(const char* a, const char* b);
// Whether `path` can be replaced as a whole by renaming another file onto it: it does not exist, or it is a
// regular file and not a symbolic link. (A device, a FIFO or a link is written in place instead.)
bool platform_replaceable(const char* path);
// Gives `to` the permission bits of the existing file `like` (nothing where the host has none to give).
void platform_copy_permissions(const char* like, const char* to);
// Renames `from` onto `to`, replacing it; 0 on success, else an error number.
int platform_replace_file(const char* from, const char* to);
// Removes a file; 0 on success.
int platform_remove_file(const char* path);
// The process's id, for names of temporary files.
unsigned long platform_process_id();

// Mapped files that shrink while they are read: touching a page past the new end raises SIGBUS (POSIX) or an
// in-page error (Windows), which would end the program without a word. A guarded mapping turns that into the
// `message` (already formatted, with its line end), written to standard error, then whatever was set with
// platform_on_mapping_fault, then exit status 1. The message is copied; at most 64 mappings are guarded at
// once (more are mapped unguarded).
void platform_guard_mapping(const uint8_t* data, uint64_t length, const char* message);
void platform_unguard_mapping(const uint8_t* data);
// Called (with no arguments, from the fault handler: it may only do what a signal handler may) before the
// program ends on a fault in a guarded mapping; null for nothing.
void platform_on_mapping_fault(void (*action)());

// Memory for a large array, of at least `bytes` bytes: where the host can, in huge pages, so that touching
// it for the first time costs few page faults. Null when none can be had. Released with platform_free_large.
void* platform_alloc_large(size_t bytes);
void platform_free_large(void* memory, size_t bytes);

}  // namespace OFE
