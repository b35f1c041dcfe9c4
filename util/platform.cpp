// Host facilities: 64-bit seeks and tells, the "file table full" test, stream buffering, program names,
// kinds of files and streams, spooling unseekable input, replacing files, read-only file mappings with a
// guard against files that shrink under them, and memory for large arrays.
#include "util/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
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

bool platform_stream_is_directory(FILE* stream) {
#if defined(_WIN32)
    (void)stream;  // the runtime does not open directories
    return false;
#else
    struct stat st {};
    return stream && fstat(fileno(stream), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool platform_stream_seekable(FILE* stream) {
    if (!stream) return false;
#if defined(_WIN32)
    const intptr_t os_handle = _get_osfhandle(_fileno(stream));
    return os_handle != -1 && GetFileType(reinterpret_cast<HANDLE>(os_handle)) == FILE_TYPE_DISK;
#else
    struct stat st {};
    const int fd = fileno(stream);
    if (fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return false;
    return lseek(fd, 0, SEEK_CUR) != -1;
#endif
}

FILE* platform_spool_stream(FILE* stream) {
    FILE* out = nullptr;
#if defined(_WIN32)
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    // "D": the runtime deletes the file when it is closed.
    if (n > 0 && n <= MAX_PATH && GetTempFileNameW(dir, L"nmk", 0, name) != 0) out = _wfopen(name, L"w+bD");
#else
#if defined(__linux__) && defined(MFD_CLOEXEC)
    const int fd = memfd_create("nmkite-input", MFD_CLOEXEC);
    if (fd >= 0 && !(out = fdopen(fd, "w+b"))) close(fd);
#endif
    if (!out) out = std::tmpfile();  // already unlinked
#endif
    if (!out) return nullptr;
    static char buffer[1 << 16];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
        if (std::fwrite(buffer, 1, got, out) != got) {
            std::fclose(out);
            return nullptr;
        }
    }
    if (std::ferror(stream) || std::fflush(out) != 0 || std::fseek(out, 0, SEEK_SET) != 0) {
        std::fclose(out);
        return nullptr;
    }
    return out;
}

#if defined(_WIN32)
namespace {
// The volume and index of an existing file or directory; false when it cannot be opened.
bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok;
}
}  // namespace
#endif

bool platform_same_file(const char* a, const char* b) {
#if defined(_WIN32)
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return file_identity(a, x) && file_identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
    struct stat x {}, y {};
    return stat(a, &x) == 0 && stat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
#endif
}

bool platform_replaceable(const char* path) {
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    } else if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        return false;
    }
    // Devices such as NUL answer too, but are not disk files.
    BY_HANDLE_FILE_INFORMATION info{};
    return file_identity(path, info);
#else
    struct stat st {};
    if (lstat(path, &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode);
#endif
}

void platform_copy_permissions(const char* like, const char* to) {
#if defined(_WIN32)
    (void)like;
    (void)to;
#else
    struct stat st {};
    if (stat(like, &st) == 0) (void)chmod(to, st.st_mode & 07777);
#endif
}

int platform_replace_file(const char* from, const char* to) {
#if defined(_WIN32)
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : EACCES;
#else
    return std::rename(from, to) == 0 ? 0 : errno;
#endif
}

int platform_remove_file(const char* path) { return std::remove(path); }

unsigned long platform_process_id() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// ---- The guard over mappings of files that may shrink ----

namespace {

struct GUARDED_MAPPING {
    const uint8_t* data = nullptr;
    uint64_t length = 0;
    char* message = nullptr;
    size_t message_length = 0;
};
GUARDED_MAPPING guarded[64];
void (*fault_action)() = nullptr;

// The guarded mapping that holds `address`, or null. Reads only what the handler may read.
const GUARDED_MAPPING* guarded_at(const void* address) {
    const auto* at = static_cast<const uint8_t*>(address);
    for (const GUARDED_MAPPING& g : guarded)
        if (g.data && at >= g.data && static_cast<uint64_t>(at - g.data) < g.length) return &g;
    return nullptr;
}

#if defined(_WIN32)
[[noreturn]] void end_on_fault(const GUARDED_MAPPING& g) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), g.message, static_cast<DWORD>(g.message_length), &written, nullptr);
    if (fault_action) fault_action();
    TerminateProcess(GetCurrentProcess(), 1);
    ExitProcess(1);
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_IN_PAGE_ERROR || r->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    if (const GUARDED_MAPPING* g = guarded_at(reinterpret_cast<const void*>(r->ExceptionInformation[1])))
        end_on_fault(*g);
    return EXCEPTION_CONTINUE_SEARCH;
}

void install_fault_handler() {
    static bool installed = false;
    if (!installed) installed = AddVectoredExceptionHandler(1, on_exception) != nullptr;
}
#else
struct sigaction previous_bus_action {};

void on_bus_error(int signal_number, siginfo_t* info, void* context) {
    if (const GUARDED_MAPPING* g = guarded_at(info->si_addr)) {
        ssize_t ignored = write(2, g->message, g->message_length);
        (void)ignored;
        if (fault_action) fault_action();
        _exit(1);
    }
    // Not a mapping of ours: whatever was there before decides.
    if ((previous_bus_action.sa_flags & SA_SIGINFO) && previous_bus_action.sa_sigaction) {
        previous_bus_action.sa_sigaction(signal_number, info, context);
    } else if (previous_bus_action.sa_handler != SIG_DFL && previous_bus_action.sa_handler != SIG_IGN &&
               previous_bus_action.sa_handler) {
        previous_bus_action.sa_handler(signal_number);
    } else {
        signal(signal_number, SIG_DFL);  // the access is made again and ends the program as it would have
    }
}

void install_fault_handler() {
    static bool installed = false;
    if (installed) return;
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    installed = sigaction(SIGBUS, &action, &previous_bus_action) == 0;
}
#endif

}  // namespace

void platform_guard_mapping(const uint8_t* data, uint64_t length, const char* message) {
    if (!data || !message) return;
    for (GUARDED_MAPPING& g : guarded) {
        if (g.data) continue;
        std::string text = message;
#if defined(_WIN32)
        // Written straight to the console handle, without the runtime's line-end translation.
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
#endif
        g.message = static_cast<char*>(std::malloc(text.size()));
        if (!g.message) return;
        std::memcpy(g.message, text.data(), text.size());
        g.message_length = text.size();
        g.length = length;
        g.data = data;  // last: the handler only looks at filled entries
        install_fault_handler();
        return;
    }
}

void platform_unguard_mapping(const uint8_t* data) {
    for (GUARDED_MAPPING& g : guarded) {
        if (!data || g.data != data) continue;
        g.data = nullptr;
        std::free(g.message);
        g = GUARDED_MAPPING{};
    }
}

void platform_on_mapping_fault(void (*action)()) { fault_action = action; }

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
