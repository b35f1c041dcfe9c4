// The archive reader: member headers, the long-name tables of both styles and the member index.
#include "archive/ar_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "archive/ar_arena.h"
#include "util/pfile.h"

namespace OFE {

namespace {

constexpr char archive_magic[] = "!<arch>\n";
constexpr uint64_t header_size = 60;
constexpr uint64_t first_header = 8;

enum NAME_MODE : int { no_table = 0, filenames_style = 2, gnu_style = 3 };

}  // namespace

struct ar_reader {
    PFILE* input = nullptr;
    std::string name;
    AR_ERROR_HOOK hook = nullptr;
    int name_mode = no_table;
    uint64_t first_member_offset = 0;
    ar_member* first = nullptr;
    ar_member* last = nullptr;
    char* names = nullptr;  // the long-name table, "/" and newlines turned into NUL
    uint64_t names_size = 0;
    bool names_loaded = false;
    AR_ARENA arena;
};

namespace {

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

// A header field as the runtime's "%ld" reads it: leading blanks, a sign, at least one digit.
bool parse_field(const char* field, size_t width, long& value) {
    char text[17] = {};
    std::memcpy(text, field, width);
    const char* p = text;
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    unsigned long long v = 0;
    // Larger numbers than any file offset are held at a ceiling rather than overflowing.
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        v = std::min<unsigned long long>(v * 10 + static_cast<unsigned>(*p - '0'), 1ull << 40);
    value = negative ? -static_cast<long>(v) : static_cast<long>(v);
    return true;
}

uint64_t padded(uint64_t size) { return (size + 1) & ~uint64_t{1}; }

// Bytes from `offset` to the end of the file.
uint64_t bytes_after(ar_reader* reader, uint64_t offset) {
    if (const std::shared_ptr<const PF_MAPPING> mapping = pfmap(reader->input))
        return mapping->length > offset ? mapping->length - offset : 0;
    FILE* stream = pffile(reader->input);
    if (!stream || pfseeko(stream, 0, SEEK_END) != 0) return 0;
    const pf_off_t end = pftello(stream);
    return end > 0 && static_cast<uint64_t>(end) > offset ? static_cast<uint64_t>(end) - offset : 0;
}

// Copies up to `n` bytes at `offset` into `out`: from the file's mapped bytes when there are some, else
// through the stream (a failed seek reads nothing). Returns how many were there.
size_t read_at(ar_reader* reader, uint64_t offset, void* out, size_t n) {
    if (const std::shared_ptr<const PF_MAPPING> mapping = pfmap(reader->input)) {
        if (offset >= mapping->length) return 0;
        const size_t got = static_cast<size_t>(std::min<uint64_t>(n, mapping->length - offset));
        std::memcpy(out, mapping->data + offset, got);
        return got;
    }
    FILE* stream = pffile(reader->input);
    if (!stream || offset > static_cast<uint64_t>(INT64_MAX) ||
        pfseeko(stream, static_cast<pf_off_t>(offset), SEEK_SET) != 0)
        return 0;
    return std::fread(out, 1, n, stream);
}

// The member's name: the stripped short name, or the long name it refers to.
const char* ar_member_name(ar_reader* reader, const char* field, long uid) {
    size_t length = 16;
    while (length > 0 && field[length - 1] == ' ') --length;
    const size_t end = strnlen(field, length);
    std::string stripped(field, end);
    if (stripped == "/" || stripped == "//" || stripped == "<filenames>/") {
        if (stripped == "<filenames>/") reader->name_mode = filenames_style;
        if (stripped == "//") reader->name_mode = gnu_style;
        return reader->arena.copy(stripped.data(), stripped.size());
    }
    long offset = uid;
    if (reader->name_mode == gnu_style) {
        offset = -1;
        if (stripped.size() > 1 && stripped[0] == '/' &&
            stripped.find_first_not_of("0123456789", 1) == std::string::npos)
            (void)parse_field(stripped.c_str() + 1, stripped.size() - 1, offset);
    }
    if (length > 0 && field[length - 1] == '/' && !stripped.empty() && stripped.back() == '/') stripped.pop_back();
    const bool refers = reader->names_loaded && ((reader->name_mode == gnu_style && offset != -1) ||
                                                 (reader->name_mode == filenames_style && offset != 0));
    if (!refers) return reader->arena.copy(stripped.data(), stripped.size());
    if (offset < 0 || static_cast<uint64_t>(offset) >= reader->names_size) {
        report(reader, 1, "Corrupt member name: '%s'", reader->name.c_str());
        return reader->arena.copy(stripped.data(), stripped.size());
    }
    const char* entry = reader->names + offset;
    const size_t entry_length = strnlen(entry, reader->names_size - static_cast<uint64_t>(offset));
    if (reader->name_mode == filenames_style &&
        std::strncmp(stripped.c_str(), std::string(entry, entry_length).c_str(), 15) != 0) {
        report(reader, 1, "Corrupt member name: '%s'", reader->name.c_str());
        return reader->arena.copy(stripped.data(), stripped.size());
    }
    std::string name;
    for (size_t i = 0; i < entry_length; ++i) {
        if (entry[i] != '|') {
            name += entry[i];
        } else if (i + 1 < entry_length && entry[i + 1] == '|') {
            name += '|';
            ++i;
        } else {
            name += '/';
        }
    }
    return reader->arena.copy(name.data(), name.size());
}

// The member whose header stands at `offset`, or null at the end of the archive or after a reported error.
ar_member* ar_read_member_header(ar_reader* reader, uint64_t offset) {
    char header[header_size];
    const size_t got = read_at(reader, offset, header, header_size);
    if (got == 0) return nullptr;
    if (got < header_size) {
        report(reader, 1, "Cannot read member header: '%s'", reader->name.c_str());
        return nullptr;
    }
    long size = 0, date = 0, uid = 0;
    if (header[58] != 0x60 || header[59] != 0x0A || !parse_field(header + 48, 10, size)) {
        report(reader, 1, "Corrupt member header: '%s'", reader->name.c_str());
        return nullptr;
    }
    const bool date_ok = parse_field(header + 16, 12, date);
    const bool uid_ok = parse_field(header + 28, 6, uid);
    const char* name = ar_member_name(reader, header, uid_ok ? uid : 0);
    // The resolved name chooses the style too: a long name read as "<filenames>/" switches it like the field.
    // ("//" cannot come out of a table entry, since "||" reads as "|".)
    if (std::strcmp(name, "<filenames>/") == 0) reader->name_mode = filenames_style;
    const bool special = std::strcmp(name, "/") == 0 || std::strcmp(name, "//") == 0 ||
                         std::strcmp(name, "<filenames>/") == 0;
    if (!special && (!date_ok || !uid_ok)) {
        report(reader, 1, "Corrupt member header: '%s'", reader->name.c_str());
        return nullptr;
    }
    auto* member = new (reader->arena.take(sizeof(ar_member))) ar_member();
    member->name = name;
    member->date = static_cast<int32_t>(date);
    // A negative size keeps its low 32 bits: the next header lies further on, and never comes round again.
    member->size = size < 0 ? static_cast<uint32_t>(size) : static_cast<uint64_t>(size);
    member->data_offset = offset + header_size;
    return member;
}

uint64_t next_header(const ar_member* member) { return member->data_offset + padded(member->size); }

void load_name_table(ar_reader* reader, const ar_member* table) {
    const uint64_t size = padded(table->size);
    // The table is read only when the file holds all of it: a size field never sizes memory by itself.
    if (size > bytes_after(reader, table->data_offset)) {
        report(reader, 1, "Cannot read name table: '%s'", reader->name.c_str());
        return;
    }
    auto* bytes = static_cast<char*>(reader->arena.take(size + 1));
    if (read_at(reader, table->data_offset, bytes, size) != size) {
        report(reader, 1, "Cannot read name table: '%s'", reader->name.c_str());
        return;
    }
    bytes[size] = '\0';
    for (uint64_t i = 0; i < size; ++i)
        if (bytes[i] == '/' || bytes[i] == '\n') bytes[i] = '\0';
    reader->names = bytes;
    reader->names_size = size;
    reader->names_loaded = true;
}

void ar_read_prologue(ar_reader* reader) {
    const ar_member* first = ar_read_member_header(reader, first_header);
    if (!first) return;
    const uint64_t next = std::strcmp(first->name, "/") == 0 ? next_header(first) : first_header;
    const ar_member* second = ar_read_member_header(reader, next);
    if (!second) return;
    if (std::strcmp(second->name, "<filenames>/") == 0 || std::strcmp(second->name, "//") == 0) {
        load_name_table(reader, second);
        reader->first_member_offset = next_header(second);
    } else {
        reader->first_member_offset = next;
    }
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
    if (!reader || !pffile(reader->input)) return false;
    char magic[8];
    if (read_at(reader, 0, magic, sizeof magic) != sizeof magic) return false;
    return std::memcmp(magic, archive_magic, sizeof magic) == 0;
}

void ar_read_index(ar_reader* reader) {
    if (reader->first_member_offset == 0) ar_read_prologue(reader);
    if (reader->first_member_offset == 0) return;
    if (reader->first) return;  // read once
    for (ar_member* m = ar_read_member_header(reader, reader->first_member_offset); m;
         m = ar_read_member_header(reader, next_header(m))) {
        if (reader->last)
            reader->last->next = m;
        else
            reader->first = m;
        reader->last = m;
    }
}

const ar_member* ar_first_member(const ar_reader* reader) { return reader ? reader->first : nullptr; }

PFILE* ar_member_stream(ar_reader* reader, const ar_member* member) {
    FILE* stream = reader ? pffile(reader->input) : nullptr;
    if (!stream) return nullptr;
    if (member->data_offset > static_cast<uint64_t>(INT64_MAX) ||
        pfseeko(stream, static_cast<pf_off_t>(member->data_offset), SEEK_SET) != 0)
        report(reader, 3, "Cannot read file: '%s'", reader->name.c_str());
    return reader->input;
}

void ar_close(ar_reader* reader) { delete reader; }

}  // namespace OFE
