// DATA_MAP: a byte buffer with a cursor, in memory or a lazily loaded window on a file region,
// with readers and writers of object-file integer encodings in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace OFE {

struct PFILE;
struct PF_MAPPING;

class DATA_MAP {
public:
    DATA_MAP();
    DATA_MAP(const DATA_MAP& other);
    DATA_MAP& operator=(const DATA_MAP& other);
    DATA_MAP(DATA_MAP&&) noexcept = default;
    DATA_MAP& operator=(DATA_MAP&& other) noexcept;

    // Becomes an unloaded window on `size` bytes of `file` at `offset`. Bytes the file does
    // not hold read as zeros and cost no memory.
    void attach_file(PFILE* file, int64_t offset, uint64_t size);
    // Copies the bytes in; the map is then in memory and loaded.
    void assign_bytes(const void* pointer, size_t length);
    // An empty in-memory map (the byte order is kept).
    void reset();
    // Brings a file-backed map's bytes in; every reader and writer calls it first.
    void load();
    // Frees the buffer; a file-backed map loads again on next use.
    void unload();
    // Loads the map and lets go of its file: the map keeps showing the same bytes (a view of the file's mapping
    // stays alive with it) but never reads the file again, so the file may be closed or replaced.
    void detach();

    // Readers: each advances the cursor by the bytes it covers. A value that reaches past `size`
    // or starts past the loaded bytes reads as 0.
    uint8_t read_u8();
    uint16_t read_u16();
    uint32_t read_u32();
    uint64_t read_uint(unsigned n);  // n from 1 to 8
    uint32_t read_uleb128();
    // A NUL-terminated string returned in place; "" at the edges. The text stays valid as long as the
    // map lives: bytes that strings were read from are kept when the map is changed, reloaded or reset.
    const char* read_string();
    // Copies n bytes out; zeros where the map has none.
    void read_bytes(void* out, size_t n);

    // Writers: at the cursor, growing the buffer with zeros as needed; they raise `size`.
    void write_u8(uint8_t value);
    void write_u16(uint16_t value);
    void write_u32(uint32_t value);
    void write_uint(uint64_t value, unsigned n);
    void write_uleb128(uint32_t value);
    void write_string(const char* text);
    void write_bytes(const void* data, size_t n);

    // The `length` bytes at `offset` in place, when the map holds every one of them (it is loaded first);
    // null when any of them would read as zero or lies past the size, so that the caller reads them
    // through the readers above and their edge rules. The cursor does not move.
    const uint8_t* bytes_at(uint64_t offset, uint64_t length) {
        load();
        const uint64_t limit = size_ < held() ? size_ : held();
        return length <= limit && offset <= limit - length ? bytes() + offset : nullptr;
    }
    // Values of 2 and 4 bytes at `p` in the map's byte order.
    uint16_t u16_at(const uint8_t* p) const {
        return big_endian_ ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t u32_at(const uint8_t* p) const {
        return big_endian_ ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                           : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }

    // Writes `count` bytes from the cursor to the file: the map's data, then zeros. 0 or -1.
    [[nodiscard]] int save(PFILE* file, uint64_t count);
    // Prints `count` bytes from the cursor in rows of 16 with offsets and characters. 0 or -1.
    [[nodiscard]] int hex_dump(FILE* stream, uint64_t count);

    uint64_t size() const { return size_; }
    void set_size(uint64_t size) { size_ = size; }
    uint64_t cursor() const { return cursor_; }
    void set_cursor(uint64_t cursor) { cursor_ = cursor; }
    bool big_endian() const { return big_endian_; }
    void set_big_endian(bool big) { big_endian_ = big; }
    bool loaded() const { return loaded_; }
    bool modified() const { return modified_; }
    bool file_backed() const { return file_ != nullptr; }
    PFILE* file() const { return file_; }
    int64_t file_offset() const { return file_offset_; }
    // Bytes that the last load brought in (those past it up to the loaded length read as zeros).
    uint64_t bytes_held() const { return held(); }
    // The loaded length: what readers may see, real bytes and zeros together.
    uint64_t loaded_length() const { return loaded_len_; }
    // The held bytes themselves, after load(): a view of the file's bytes, or a buffer followed by one NUL.
    const uint8_t* data() const { return bytes(); }
    // Every byte the map holds, loaded first: a read-only view that stays valid until the map is changed,
    // reset, unloaded or destroyed. (Bytes between what the file held and the size read as zeros through
    // the readers and are not part of it.)
    std::span<const uint8_t> view() {
        load();
        const uint64_t limit = size_ < held() ? size_ : held();
        return {bytes(), static_cast<size_t>(limit)};
    }

private:
    uint64_t held() const { return view_ ? view_length_ : buffer_.size() - 1; }
    const uint8_t* bytes() const { return view_ ? view_ : buffer_.data(); }
    // True when a read of w bytes at the cursor sees the map's data; false when it yields zeros.
    bool readable(uint64_t w);
    uint64_t read_value(unsigned n);
    void write_value(uint64_t value, unsigned n);
    // Room for w bytes at the cursor, as real bytes.
    uint8_t* writable(uint64_t w);
    // Length of a value ending at the first byte for which `ends` holds, measured within size.
    template <class ENDS>
    uint64_t measure(ENDS ends) const;

    // Lets go of the held bytes (buffer or view), keeping them when strings were read from them in place;
    // leaves an empty buffer.
    void retire_buffer();
    // Takes the other map's window, cursor and state; not its bytes.
    void take_window(const DATA_MAP& other);

    // The held bytes are either a view of the file that the host maps (`view_`, while `mapping_` keeps it)
    // or `buffer_`, the bytes plus one NUL so that in-place strings always end.
    std::vector<uint8_t> buffer_;
    std::shared_ptr<const PF_MAPPING> mapping_;
    const uint8_t* view_ = nullptr;
    uint64_t view_length_ = 0;
    std::vector<std::vector<uint8_t>> retired_;               // earlier buffers that strings were read from
    std::vector<std::shared_ptr<const PF_MAPPING>> kept_views_;  // earlier views that strings were read from
    std::vector<std::unique_ptr<char[]>> tails_;              // ended copies of strings cut by the file's end
    bool lent_ = false;                                       // a string was read in place from the bytes
    uint64_t loaded_len_ = 0;
    uint64_t size_ = 0;
    uint64_t cursor_ = 0;
    PFILE* file_ = nullptr;
    int64_t file_offset_ = 0;
    uint64_t load_size_ = 0;
    bool loaded_ = true;
    bool modified_ = false;
    bool big_endian_ = false;
};

// The fields of one fixed-size entry of a map, by their offsets in the entry: straight from the bytes
// when the map holds all of them, otherwise through the map's checked readers and their rules for
// missing bytes. The map's cursor is moved only on the second way.
class DATA_MAP_ENTRY {
public:
    DATA_MAP_ENTRY(DATA_MAP& map, uint64_t at, uint64_t size) : map_(map), at_(at), bytes_(map.bytes_at(at, size)) {}

    uint32_t u32(uint32_t field) {
        if (bytes_) return map_.u32_at(bytes_ + field);
        map_.set_cursor(at_ + field);
        return map_.read_u32();
    }
    uint16_t u16(uint32_t field) {
        if (bytes_) return map_.u16_at(bytes_ + field);
        map_.set_cursor(at_ + field);
        return map_.read_u16();
    }
    uint8_t u8(uint32_t field) {
        if (bytes_) return bytes_[field];
        map_.set_cursor(at_ + field);
        return map_.read_u8();
    }
    void copy(uint32_t field, void* out, size_t n) {
        if (bytes_) {
            std::memcpy(out, bytes_ + field, n);
            return;
        }
        map_.set_cursor(at_ + field);
        map_.read_bytes(out, n);
    }

private:
    DATA_MAP& map_;
    uint64_t at_;
    const uint8_t* bytes_;  // null when some byte of the entry would read as zero
};

}  // namespace OFE
