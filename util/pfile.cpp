// The file pool and the checked stream wrappers.
#include "util/pfile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "DIAG/user_msg_api.h"

namespace OFE {

namespace {

constexpr int open_slots = 15;
constexpr size_t initial_handles = 1024;

}  // namespace

struct PFILE_POOL {
    std::vector<PFILE*> handles = std::vector<PFILE*>(initial_handles, nullptr);
    size_t handle_count = 0;  // entries in use at the front of the table (holes included)
    std::array<PFILE*, open_slots> slots{};
    uint32_t clock = 0;
    int next_slot = 0;
    bool holes = false;
    PFILE std_in, std_out, std_err;

    PFILE_POOL() {
        bind(std_in, "(stdin)", "r", stdin);
        bind(std_out, "(stdout)", "w", stdout);
        bind(std_err, "(stderr)", "w", stderr);
    }

    void bind(PFILE& h, const char* n, const char* m, FILE* s) {
        h.pool = this;
        h.stream = s;
        // Built, then moved in: GCC 12 at -O3 reports a false overlap (-Wrestrict) for assigning the literal.
        h.name = std::string(n);
        h.has_name = true;
        h.mode = std::string(m);
        h.standard = true;
        h.pinned = 1;
    }

    // A free open slot, searching round from the next slot to try; -1 when all are taken.
    int free_slot() {
        for (int i = 0; i < open_slots; ++i) {
            const int s = (next_slot + i) % open_slots;
            if (!slots[s]) {
                next_slot = (s + 1) % open_slots;
                return s;
            }
        }
        return -1;
    }

    // Closes the least recently used unpinned file; false when every open file is pinned.
    bool evict() {
        int victim = -1;
        for (int s = 0; s < open_slots; ++s) {
            PFILE* h = slots[s];
            if (!h || h->pinned || h->spooled) continue;
            if (victim < 0 || h->stamp < slots[victim]->stamp) victim = s;
        }
        if (victim < 0) return false;
        PFILE* h = slots[victim];
        h->position = platform_tell64(h->stream);
        h->has_saved_pos = std::fgetpos(h->stream, &h->saved_pos) == 0;
        std::fclose(h->stream);
        h->stream = nullptr;
        h->slot = -1;
        slots[victim] = nullptr;
        return true;
    }

    // Opens the handle's file into a slot, evicting as needed; false on failure.
    bool open_into_slot(PFILE* h, const char* mode) {
        int slot = free_slot();
        if (slot < 0) {
            if (!evict()) return false;
            slot = free_slot();
            if (slot < 0) return false;
        }
        FILE* s = nullptr;
        for (;;) {
            errno = 0;
            s = std::fopen(h->name.c_str(), mode);
            if (s) break;
            if (!platform_open_table_full(errno) || !evict()) return false;
        }
        h->stream = s;
        h->slot = slot;
        slots[slot] = h;
        h->stamp = clock++;
        return true;
    }

    // A directory is refused (its stream is closed, errno EISDIR); an unseekable stream is replaced by a
    // seekable copy of everything it yields. False when the handle cannot be read as a file.
    bool make_readable(PFILE* h) {
        if (platform_stream_is_directory(h->stream)) {
            std::fclose(h->stream);
            h->stream = nullptr;
            errno = EISDIR;
            return false;
        }
        if (platform_stream_seekable(h->stream)) return true;
        FILE* copy = platform_spool_stream(h->stream);
        std::fclose(h->stream);
        h->stream = copy;
        h->spooled = copy != nullptr;
        return copy != nullptr;
    }

    void make_room() {
        if (handle_count < handles.size()) return;
        if (holes) {
            size_t out = 0;
            for (size_t i = 0; i < handle_count; ++i) {
                if (!handles[i]) continue;
                handles[out] = handles[i];
                handles[out]->index = out;
                ++out;
            }
            for (size_t i = out; i < handle_count; ++i) handles[i] = nullptr;
            handle_count = out;
            holes = false;
        }
        if (handle_count == handles.size()) handles.resize(handles.size() * 2, nullptr);
    }
};

namespace {

PFILE_POOL& pool() {
    static PFILE_POOL* p = new PFILE_POOL();  // lives for the process
    return *p;
}

bool has(const char* mode, char c) {
    return mode[0] != '\0' && ((mode[1] == c) || (mode[1] != '\0' && mode[2] == c));
}

}  // namespace

const char* pf_reopen_mode(const char* mode) {
    const bool binary = has(mode, 'b');
    const bool update = has(mode, '+');
    switch (mode[0]) {
    case 'r':
        if (update) return binary ? "r+b" : "r+";
        return binary ? "rb" : "r";
    case 'w': return binary ? "r+b" : "r+";
    case 'a':
        if (update) return binary ? "a+b" : "a+";
        return binary ? "ab" : "a";
    default: return "r";
    }
}

PFILE* pfopen(const char* name, const char* mode) {
    PFILE_POOL& p = pool();
    p.make_room();
    auto* h = new PFILE();
    h->pool = &p;
    if (name) {
        h->name = name;
        h->has_name = true;
    }
    if (!name || !p.open_into_slot(h, mode)) {
        delete h;
        return nullptr;
    }
    const bool read_only = mode[0] == 'r' && !has(mode, '+');
    if (read_only && !p.make_readable(h)) {
        p.slots[h->slot] = nullptr;
        delete h;
        return nullptr;
    }
    h->mode = pf_reopen_mode(mode);
    h->index = p.handle_count++;
    p.handles[h->index] = h;
    return h;
}

FILE* pffile(PFILE* h) {
    if (!h) return nullptr;
    PFILE_POOL& p = *h->pool;
    if (!h->stream) {
        if (!p.open_into_slot(h, h->mode.c_str())) return nullptr;
        if (h->has_saved_pos) std::fsetpos(h->stream, &h->saved_pos);
        platform_seek64(h->stream, h->position, SEEK_SET);
        ++h->reopen_count;
        return h->stream;
    }
    h->stamp = p.clock++;
    return h->stream;
}

std::shared_ptr<const PF_MAPPING> pfmap(PFILE* h) {
    if (!h || h->standard) return nullptr;
    if (!h->map_tried) {
        h->map_tried = true;
        // Only files that nothing writes through this handle: their bytes stay as mapped.
        const std::string& m = h->mode;
        if (!m.empty() && m[0] == 'r' && m.find('+') == std::string::npos) {
            uint64_t length = 0;
            if (const uint8_t* data = platform_map_file(pffile(h), length)) {
                h->mapping = std::make_shared<const PF_MAPPING>(data, length);
                const std::string message = DIAG::user_msg_fatal_text(
                    DIAG::user_msg_context(), "the input file \"%s\" changed while being read", h->name.c_str());
                platform_guard_mapping(data, length, message.c_str());
            }
        }
    }
    return h->mapping;
}

int pfclose(PFILE* h) {
    if (!h || h->standard) return 0;
    PFILE_POOL& p = *h->pool;
    int result = 0;
    if (h->stream) {
        result = std::fclose(h->stream);
        p.slots[h->slot] = nullptr;
    }
    p.handles[h->index] = nullptr;
    p.holes = true;
    delete h;
    return result;
}

PFILE* pfstdin() { return &pool().std_in; }
PFILE* pfstdout() { return &pool().std_out; }
PFILE* pfstderr() { return &pool().std_err; }

void pfpin(PFILE* h, int flag) {
    if (h && !h->standard) h->pinned = flag ? 1 : 0;
}

const char* pfname(const PFILE* h) { return h && h->has_name ? h->name.c_str() : ""; }

int pf_open_count() {
    int n = 0;
    for (PFILE* h : pool().slots) n += h != nullptr;
    return n;
}

size_t pfread(void* buffer, size_t size, size_t count, FILE* stream) {
    if (!buffer || size == 0 || count == 0) {  // a buffer of no bytes counts as none
        user_msg_apperror(DIAG::user_msg_context(), "pfread called with a NULL buffer pointer");
        return 0;
    }
    if (!stream) {
        user_msg_apperror(DIAG::user_msg_context(), "pfread called with a NULL FILE pointer");
        return 0;
    }
    return std::fread(buffer, size, count, stream);
}

size_t pfwrite(const void* buffer, size_t size, size_t count, FILE* stream, bool quiet) {
    const char* problem = nullptr;
    if (!buffer)
        problem = "pfwrite called with a NULL buffer pointer";
    else if (size == 0)
        problem = "pfwrite called requesting zero-size elements";
    else if (count == 0)
        problem = "pfwrite called requesting zero elements";
    else if (!stream)
        problem = "pfwrite called with a NULL FILE pointer";
    if (problem) {
        user_msg_apperror(DIAG::user_msg_context(), "%s", problem);
        return 0;
    }
    const size_t written = std::fwrite(buffer, size, count, stream);
    if (written < count && !quiet)
        user_msg_apperror(DIAG::user_msg_context(), "pfwrite only wrote %zu elements; %zu were requested", written, count);
    return written;
}

int pfseek(FILE* stream, long offset, int whence) {
    if (!stream) {
        user_msg_apperror(DIAG::user_msg_context(), "pfseek called with a NULL FILE pointer");
        return -1;
    }
    if (whence == SEEK_SET && offset < 0) {
        user_msg_apperror(DIAG::user_msg_context(), "pfseek called with SEEK_SET, but offset is negative");
        return -1;
    }
    const int result = std::fseek(stream, offset, whence);
    if (result != 0) user_msg_apperror(DIAG::user_msg_context(), "call to pfseek failed:  %s", std::strerror(errno));
    return result;
}

int pfseeko(FILE* stream, pf_off_t offset, int whence) {
    if (!stream) {
        user_msg_apperror(DIAG::user_msg_context(), "pfseeko called with a NULL FILE pointer");
        return -1;
    }
    if (whence == SEEK_SET && offset < 0) {
        user_msg_apperror(DIAG::user_msg_context(), "pfseeko called with SEEK_SET, but offset is negative");
        return -1;
    }
    return platform_seek64(stream, offset, whence);
}

long pftell(FILE* stream) {
    if (!stream) {
        user_msg_apperror(DIAG::user_msg_context(), "pftell called with a NULL FILE pointer");
        return -1;
    }
    const long result = std::ftell(stream);
    if (result < 0) user_msg_apperror(DIAG::user_msg_context(), "call to pftell failed:  %s", std::strerror(errno));
    return result;
}

pf_off_t pftello(FILE* stream) {
    if (!stream) {
        user_msg_apperror(DIAG::user_msg_context(), "pftello called with a NULL FILE pointer");
        return -1;
    }
    const pf_off_t result = platform_tell64(stream);
    if (result < 0) user_msg_apperror(DIAG::user_msg_context(), "call to pftello failed:  %s", std::strerror(errno));
    return result;
}

}  // namespace OFE
