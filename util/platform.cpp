// Host facilities: 64-bit seeks and tells, the "file table full" test, stream buffering, program names,
// read-only file mappings and memory for large arrays.
#include "util/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/stat.h>
#endif

#include "util/str_util.h"

namespace OFE {

int platform_seek64(FILE* stream, pf_off_t offset, int whence) {
#if defined(_WIN32)
    return _fseeki64(stream, offset, whence);
#else
    return fseeko(stream, static_cast<off_t>(offset), whence);
#endif
}

pf_off_t platform_tell64(FILE* stream) {
#if defined(_WIN32)
    return _ftelli64(stream);
#else
    return static_cast<pf_off_t>(ftello(stream));
#endif
}

bool platform_open_table_full(int error_number) {
    // Both runtimes number "too many open files in system" 23.
    return error_number == 23;
}

void platform_line_buffer_stderr() { std::setvbuf(stderr, nullptr, _IOLBF, BUFSIZ); }

std::string platform_program_name(const char* path) {
#if defined(_WIN32)
    const char* const separators = "/\\:";
#else
    const char* const separators = "/";
#endif
    std::string name = path;
    const size_t cut = name.find_last_of(separators);
    if (cut != std::string::npos) name.erase(0, cut + 1);
#if defined(_WIN32)
    if (name.size() > 4 && str_casecmp(name.c_str() + name.size() - 4, ".exe") == 0) name.resize(name.size() - 4);
#endif
    return name;
}

const uint8_t* platform_map_file(FILE* stream, uint64_t& length) {
    length = 0;
#if defined(_WIN32)
    const int fd = stream ? _fileno(stream) : -1;
    const intptr_t os_handle = fd >= 0 ? _get_osfhandle(fd) : -1;
    if (os_handle == -1) return nullptr;
    const HANDLE file = reinterpret_cast<HANDLE>(os_handle);
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart <= 0) return nullptr;
    if (static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) return nullptr;
    const HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!section) return nullptr;
    // The view keeps the mapping object alive; its handle is not needed after this.
    void* p = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(section);
    if (!p) return nullptr;
    length = static_cast<uint64_t>(size.QuadPart);
    return static_cast<const uint8_t*>(p);
#else
    const int fd = stream ? fileno(stream) : -1;
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return nullptr;
    const auto size = static_cast<uint64_t>(st.st_size);
    if (size > SIZE_MAX) return nullptr;
    void* p = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    length = size;
    return static_cast<const uint8_t*>(p);
#endif
}

namespace {
constexpr size_t huge_page = size_t{2} << 20;
}

void* platform_alloc_large(size_t bytes) {
#if defined(__linux__)
    // Whole, aligned huge pages: the host may back them with huge pages only then.
    const size_t size = (bytes + huge_page - 1) & ~(huge_page - 1);
    if (size < bytes) return nullptr;
    void* p = mmap(nullptr, size + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + huge_page - 1) & ~uintptr_t{huge_page - 1};
    if (aligned > start) munmap(p, aligned - start);
    if (aligned + size < start + size + huge_page)
        munmap(reinterpret_cast<void*>(aligned + size), start + size + huge_page - (aligned + size));
    (void)madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
#else
    return std::malloc(bytes);
#endif
}

void platform_free_large(void* memory, size_t bytes) {
#if defined(__linux__)
    if (memory) munmap(memory, (bytes + huge_page - 1) & ~(huge_page - 1));
#else
    (void)bytes;
    std::free(memory);
#endif
}

void platform_unmap_file(const uint8_t* data, uint64_t length) {
#if defined(_WIN32)
    (void)length;
    if (data) UnmapViewOfFile(data);
#else
    if (data) munmap(const_cast<uint8_t*>(data), static_cast<size_t>(length));
#endif
}

}  // namespace OFE
