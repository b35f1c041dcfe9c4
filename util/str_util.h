// String comparison and search that ignore letter case, and a name between two marks.
#pragma once

#include <cstddef>
#include <string>

namespace OFE {

int str_casecmp(const char* a, const char* b);
int str_ncasecmp(const char* a, const char* b, size_t n);
// The first place in haystack where needle occurs, ignoring case; null when it does not.
const char* str_casestr(const char* haystack, const char* needle);

// `text` (null taken as "") between `open` and `close`, as in "(name)" or "\"name\"".
std::string enclosed(char open, const char* text, char close);

}  // namespace OFE
