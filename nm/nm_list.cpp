// Listing one object: open it through the object-file library and print its symbols.
#include "nm/nm_tool.h"

void list_object(const char*, PFILE*, uint32_t, PFILE*) {
    // Objects are recognised and listed by the object-file library; until it reads a format,
    // every input is an unknown file, for which nothing is printed.
}
