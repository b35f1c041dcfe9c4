// DATA_MAP: lazy loading, edge rules of the readers, writers, save and hex dump.
#include "util/data_map.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "DIAG/user_msg_api.h"
#include "util/pfile.h"

namespace OFE {

DATA_MAP::DATA_MAP() : buffer_(1, 0) {}

DATA_MAP::DATA_MAP(const DATA_MAP& other) : buffer_(1, 0) { *this = other; }

void DATA_MAP::retire_buffer() {
    if (lent_) {
        if (view_)
            kept_views_.push_back(mapping_);
        else
            retired_.push_back(std::move(buffer_));
    }
    buffer_.assign(1, 0);
    view_ = nullptr;
    view_length_ = 0;
    mapping_.reset();
    lent_ = false;
}

DATA_MAP& DATA_MAP::operator=(DATA_MAP&& other) noexcept {
    if (this == &other) return *this;
    retire_buffer();
    for (std::vector<uint8_t>& b : other.retired_) retired_.push_back(std::move(b));
    other.retired_.clear();
    for (auto& m : other.kept_views_) kept_views_.push_back(std::move(m));
    other.kept_views_.clear();
    for (auto& t : other.tails_) tails_.push_back(std::move(t));
    other.tails_.clear();
    buffer_ = std::move(other.buffer_);
    other.buffer_.assign(1, 0);
    mapping_ = std::move(other.mapping_);
    view_ = other.view_;
    view_length_ = other.view_length_;
    other.view_ = nullptr;
    other.view_length_ = 0;
    lent_ = other.lent_;
    other.lent_ = false;
    take_window(other);
    return *this;
}

DATA_MAP& DATA_MAP::operator=(const DATA_MAP& other) {
    if (this == &other) return *this;
    retire_buffer();
    take_window(other);
    if (other.file_ && !other.modified_) {
        // Another window on the same region: it loads by itself when used.
        loaded_len_ = 0;
        loaded_ = false;
    } else if (other.view_) {
        buffer_.assign(other.view_, other.view_ + other.view_length_);
        buffer_.push_back(0);
    } else {
        buffer_ = other.buffer_;
    }
    return *this;
}

void DATA_MAP::take_window(const DATA_MAP& other) {
    loaded_len_ = other.loaded_len_;
    size_ = other.size_;
    cursor_ = other.cursor_;
    file_ = other.file_;
    file_offset_ = other.file_offset_;
    load_size_ = other.load_size_;
    loaded_ = other.loaded_;
    modified_ = other.modified_;
    big_endian_ = other.big_endian_;
}

void DATA_MAP::attach_file(PFILE* file, int64_t offset, uint64_t size) {
    retire_buffer();
    buffer_.shrink_to_fit();
    loaded_len_ = 0;
    file_ = file;
    file_offset_ = offset;
    load_size_ = size_ = size;
    cursor_ = 0;
    loaded_ = false;
    modified_ = false;
}

void DATA_MAP::assign_bytes(const void* pointer, size_t length) {
    const auto* p = static_cast<const uint8_t*>(pointer);
    retire_buffer();
    buffer_.assign(p, p + length);
    buffer_.push_back(0);
    loaded_len_ = size_ = length;
    cursor_ = 0;
    file_ = nullptr;
    loaded_ = true;
}

void DATA_MAP::reset() {
    retire_buffer();
    loaded_len_ = size_ = cursor_ = 0;
    file_ = nullptr;
    file_offset_ = 0;
    load_size_ = 0;
    loaded_ = true;
    modified_ = false;
}

void DATA_MAP::load() {
    if (loaded_) return;
    loaded_ = true;
    const uint64_t n = std::min(size_, load_size_);
    loaded_len_ = n;
    if (n == 0 || !file_) return;
    if (file_offset_ >= 0) {
        if (std::shared_ptr<const PF_MAPPING> mapping = pfmap(file_)) {
            // The file's bytes are shown where the host maps them; none are copied.
            const uint64_t offset = static_cast<uint64_t>(file_offset_);
            const uint64_t available = mapping->length > offset ? mapping->length - offset : 0;
            retire_buffer();
            if (std::min(n, available) > 0) {
                mapping_ = std::move(mapping);
                view_ = mapping_->data + offset;
                view_length_ = std::min(n, available);
            }
            return;
        }
    }
    FILE* stream = pffile(file_);
    if (!stream) return;
    // Only the bytes the file really holds are read and kept; the rest of the region reads as zeros.
    const pf_off_t here = pftello(stream);
    uint64_t available = 0;
    if (file_offset_ >= 0 && platform_seek64(stream, 0, SEEK_END) == 0) {
        const pf_off_t end = platform_tell64(stream);
        if (end > file_offset_) available = static_cast<uint64_t>(end - file_offset_);
    }
    const uint64_t held_now = std::min(n, available);
    if (pfseeko(stream, file_offset_, SEEK_SET) == 0 && held_now > 0) {
        retire_buffer();
        buffer_.assign(static_cast<size_t>(held_now) + 1, 0);
        pfread(buffer_.data(), static_cast<size_t>(held_now), 1, stream);
        buffer_[static_cast<size_t>(held_now)] = 0;
    }
    pfseeko(stream, here, SEEK_SET);
}

void DATA_MAP::unload() {
    retire_buffer();
    buffer_.shrink_to_fit();
    loaded_len_ = 0;
    if (file_) loaded_ = false;
}

void DATA_MAP::detach() {
    load();
    file_ = nullptr;
    file_offset_ = 0;
    load_size_ = size_;
}

bool DATA_MAP::readable(uint64_t w) {
    load();
    if (w > size_ || cursor_ > size_ - w || cursor_ >= loaded_len_) return false;
    if (w > loaded_len_ - cursor_) {
        user_msg_apperror(DIAG::user_msg_context(), "buffer of size %zu not big enough on const DATA_MAP %p of size %zu",
                          static_cast<size_t>(cursor_ + w), static_cast<const void*>(this),
                          static_cast<size_t>(size_));
        return false;
    }
    return true;
}

uint64_t DATA_MAP::read_value(unsigned n) {
    uint64_t value = 0;
    if (readable(n)) {
        const uint64_t h = held();
        for (unsigned i = 0; i < n; ++i) {
            const uint64_t at = cursor_ + (big_endian_ ? i : n - 1 - i);
            value = (value << 8) | (at < h ? bytes()[static_cast<size_t>(at)] : 0u);
        }
    }
    cursor_ += n;
    return value;
}

uint8_t DATA_MAP::read_u8() { return static_cast<uint8_t>(read_value(1)); }
uint16_t DATA_MAP::read_u16() { return static_cast<uint16_t>(read_value(2)); }
uint32_t DATA_MAP::read_u32() { return static_cast<uint32_t>(read_value(4)); }

uint64_t DATA_MAP::read_uint(unsigned n) {
    if (n < 1 || n > 8) {
        user_msg_apperror(DIAG::user_msg_context(), "DATA_MAP::read_uint called for %u bytes", n);
        return 0;
    }
    return read_value(n);
}

template <class ENDS>
uint64_t DATA_MAP::measure(ENDS ends) const {
    if (cursor_ >= size_) return 1;
    const uint64_t limit = std::min(size_, loaded_len_);
    const uint64_t h = std::min(held(), limit);
    for (uint64_t at = cursor_; at < h; ++at)
        if (ends(bytes()[static_cast<size_t>(at)])) return at - cursor_ + 1;
    // Past the held bytes the loaded region reads as zeros, and a zero ends both encodings.
    if (std::max(cursor_, h) < limit) return std::max(cursor_, h) - cursor_ + 1;
    return size_ - cursor_ + 1;
}

uint32_t DATA_MAP::read_uleb128() {
    load();
    const uint64_t w = measure([](uint8_t b) { return b < 0x80; });
    uint32_t value = 0;
    if (readable(w)) {
        const uint64_t h = held();
        for (uint64_t i = 0; i < w && i * 7 < 32; ++i) {
            const uint64_t at = cursor_ + i;
            const uint32_t group = at < h ? bytes()[static_cast<size_t>(at)] & 0x7Fu : 0u;
            value |= group << (i * 7);
        }
    }
    cursor_ += w;
    return value;
}

const char* DATA_MAP::read_string() {
    load();
    // Most strings end inside the held bytes: one search finds the terminator.
    const uint64_t limit = std::min(std::min(size_, loaded_len_), held());
    const void* end = cursor_ < limit ? std::memchr(bytes() + cursor_, 0, static_cast<size_t>(limit - cursor_))
                                      : nullptr;
    const uint64_t w = end ? static_cast<uint64_t>(static_cast<const uint8_t*>(end) - bytes()) - cursor_ + 1
                           : measure([](uint8_t b) { return b == 0; });
    const char* text = "";
    if (readable(w) && cursor_ < held()) {
        if (view_ && !end) {
            // The string runs to the end of the file's bytes, where a view has no terminator: a copy ends it.
            const size_t length = static_cast<size_t>(held() - cursor_);
            tails_.push_back(std::make_unique<char[]>(length + 1));
            std::memcpy(tails_.back().get(), bytes() + cursor_, length);
            text = tails_.back().get();
        } else {
            text = reinterpret_cast<const char*>(bytes() + cursor_);
            lent_ = true;
        }
    }
    cursor_ += w;
    return text;
}

void DATA_MAP::read_bytes(void* out, size_t n) {
    auto* o = static_cast<uint8_t*>(out);
    std::memset(o, 0, n);
    if (n > 0 && readable(n) && cursor_ < held()) {
        const uint64_t real = std::min<uint64_t>(n, held() - cursor_);
        std::memcpy(o, bytes() + cursor_, static_cast<size_t>(real));
    }
    cursor_ += n;
}

uint8_t* DATA_MAP::writable(uint64_t w) {
    load();
    if (view_) {
        // Writes go to a copy of the bytes; strings read from the view stay where they are.
        std::vector<uint8_t> copy(view_, view_ + view_length_);
        copy.push_back(0);
        retire_buffer();
        buffer_ = std::move(copy);
    }
    const uint64_t end = cursor_ + w;
    if (end > held()) {
        const size_t need = static_cast<size_t>(end) + 1;
        if (lent_ && need > buffer_.capacity()) {
            // Growing would move the bytes that strings were read from: they stay where they are.
            std::vector<uint8_t> grown;
            grown.reserve(std::max(need, 2 * buffer_.capacity()));
            grown.assign(buffer_.begin(), buffer_.end());
            retire_buffer();
            buffer_ = std::move(grown);
        }
        buffer_.resize(need, 0);
    }
    loaded_len_ = std::max(loaded_len_, end);
    size_ = std::max(size_, end);
    modified_ = true;
    uint8_t* p = buffer_.data() + cursor_;
    cursor_ = end;
    return p;
}

void DATA_MAP::write_value(uint64_t value, unsigned n) {
    uint8_t* p = writable(n);
    for (unsigned i = 0; i < n; ++i) {
        const unsigned at = big_endian_ ? n - 1 - i : i;
        p[at] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void DATA_MAP::write_u8(uint8_t value) { write_value(value, 1); }
void DATA_MAP::write_u16(uint16_t value) { write_value(value, 2); }
void DATA_MAP::write_u32(uint32_t value) { write_value(value, 4); }

void DATA_MAP::write_uint(uint64_t value, unsigned n) {
    if (n < 1 || n > 8) {
        user_msg_apperror(DIAG::user_msg_context(), "DATA_MAP::write_uint called for %u bytes", n);
        return;
    }
    write_value(value, n);
}

void DATA_MAP::write_uleb128(uint32_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value != 0) byte |= 0x80;
        write_value(byte, 1);
    } while (value != 0);
}

void DATA_MAP::write_string(const char* text) { write_bytes(text, std::strlen(text) + 1); }

void DATA_MAP::write_bytes(const void* data, size_t n) {
    if (n == 0) return;
    std::memcpy(writable(n), data, n);
}

int DATA_MAP::save(PFILE* file, uint64_t count) {
    load();
    if (count == 0) return 0;
    FILE* stream = pffile(file);
    const uint64_t end = std::min(size_, loaded_len_);
    const uint64_t have = cursor_ < end ? std::min(count, end - cursor_) : 0;
    const uint64_t real = cursor_ < held() ? std::min(have, held() - cursor_) : 0;
    if (real > 0 && pfwrite(bytes() + cursor_, static_cast<size_t>(real), 1, stream, false) != 1) return -1;
    static const uint8_t zeros[4096] = {};
    for (uint64_t left = count - real; left > 0;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, sizeof zeros));
        if (pfwrite(zeros, chunk, 1, stream, false) != 1) return -1;
        left -= chunk;
    }
    return 0;
}

int DATA_MAP::hex_dump(FILE* stream, uint64_t count) {
    if (count > 0xFFFFFFFFull) {
        user_msg_apperror(DIAG::user_msg_context(), "saving a single DATA_MAP with more than 4GB; unsupported");
        return -1;
    }
    load();
    const uint64_t h = held();
    char chars[17] = {};
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = cursor_ + i;
        const uint8_t b = at >= cursor_ && at < h ? bytes()[static_cast<size_t>(at)] : 0;
        const unsigned column = static_cast<unsigned>(i % 16);
        if (column == 0) std::fprintf(stream, "%08zx:  ", static_cast<size_t>(i));
        std::fprintf(stream, "%02x ", b);
        chars[column] = std::isprint(b) ? static_cast<char>(b) : '.';
        if (column == 15) {
            std::fprintf(stream, "%.16s\n", chars);
        } else if (i + 1 == count) {
            for (unsigned pad = column + 1; pad < 16; ++pad) std::fputs("   ", stream);
            std::fprintf(stream, "%.*s\n", static_cast<int>(column + 1), chars);
        }
    }
    return 0;
}

}  // namespace OFE
