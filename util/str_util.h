// String comparison and search that ignore letter case.
#pragma once

#include <cstddef>

namespace OFE {

int str_casecmp(const char* a, const char* b);
int str_ncasecmp(const char* a, const char* b, size_t n);
// The first place in haystack where needle occurs, ignoring case; null when it does not.
const char* str_casestr(const char* haystack, const char* needle);

}  // namespace OFE
