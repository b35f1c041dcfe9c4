// String comparison and search that ignore letter case.
#include "util/str_util.h"

#include <cctype>
#include <cstring>

namespace OFE {

namespace {

int lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

}  // namespace

int str_casecmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int d = lower(*a) - lower(*b);
        if (d != 0 || *a == '\0') return d;
    }
}

int str_ncasecmp(const char* a, const char* b, size_t n) {
    for (; n > 0; --n, ++a, ++b) {
        const int d = lower(*a) - lower(*b);
        if (d != 0 || *a == '\0') return d;
    }
    return 0;
}

const char* str_casestr(const char* haystack, const char* needle) {
    if (*needle == '\0') return haystack;
    for (; *haystack; ++haystack) {
        const char* h = haystack;
        const char* n = needle;
        while (*h && *n && lower(*h) == lower(*n)) ++h, ++n;
        if (*n == '\0') return haystack;
    }
    return nullptr;
}

std::string enclosed(char open, const char* text, char close) {
    // Appended in order: prepending to a temporary string draws false overlap warnings from some compilers.
    if (!text) text = "";
    std::string s;
    s.reserve(std::strlen(text) + 2);
    s += open;
    s += text;
    s += close;
    return s;
}

}  // namespace OFE
