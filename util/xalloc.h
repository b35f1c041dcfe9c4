// Allocation that ends the program when memory runs out, and printf into a new string.
#pragma once

#include <cstddef>

#include "DIAG/diag.h"

namespace OFE {

// Each writes "ERROR: out of memory\n" to standard error and exits with status 1 on failure.
void* xmalloc(size_t n);
void* xrealloc(void* pointer, size_t n);
void* xcalloc(size_t count, size_t size);
// Formats into a new string of exactly the needed length (free it with free); returns its
// length, or a negative value when formatting fails (then *out is null).
int xasprintf(char** out, const char* format, ...) DIAG_PRINTF(2, 3);

}  // namespace OFE
