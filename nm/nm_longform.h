// The long-form listing: a column header once per run and one "|"-separated row per symbol.
#pragma once

#include <cstdio>

namespace OFE {
class OBJECT_FILE;
class OF_SYMBOL;
}  // namespace OFE

// The header in the columns of `object`'s format (QXCOFF or ELF).
void print_longform_header(FILE* out, const OFE::OBJECT_FILE& object, bool prepend_file_name);
// One row; `name` is the object's name for the file-name column.
void dump_one_sym_longform(FILE* out, const OFE::OF_SYMBOL& symbol, const char* name, bool prepend_file_name);
