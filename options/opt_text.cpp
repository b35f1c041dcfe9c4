// The encoding of the option tables' texts.
#include <string>

#include "options/opt_engine.h"

namespace {

// "%" and "-" swap; letters move 13 places within their case; everything else stays.
char scramble(char c) {
    if (c == '%') return '-';
    if (c == '-') return '%';
    if (c >= 'a' && c <= 'z') return static_cast<char>('a' + (c - 'a' + 13) % 26);
    if (c >= 'A' && c <= 'Z') return static_cast<char>('A' + (c - 'A' + 13) % 26);
    return c;
}

}  // namespace

const char* opt_decode_text(const char* text) {
    if (!text) return "";
    // Five rotating buffers: a result survives the next four calls.
    static std::string ring[5];
    static size_t next = 0;
    std::string& buffer = ring[next];
    next = (next + 1) % 5;
    buffer.assign(text);
    for (size_t i = buffer.size(); i-- > 0;) buffer[i] = scramble(buffer[i]);
    return buffer.c_str();
}
