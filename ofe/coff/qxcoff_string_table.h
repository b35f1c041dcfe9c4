// QXCOFF_STRING_TABLE: the string table of a QXCOFF file, which holds the names longer than 8 characters.
#pragma once

#include <cstdint>

#include "ofe/of_string_table.h"

namespace OFE {

class QXCOFF_FILE;

// Its data are the file's mapped string table. The table starts with a 32-bit length that counts its own
// 4 bytes, so name offsets count those 4 bytes and strings begin at offset 4.
class QXCOFF_STRING_TABLE : public OF_STRING_TABLE {
public:
    QXCOFF_STRING_TABLE(QXCOFF_FILE* file, DATA_MAP* data);

    uint32_t first_string_offset() const override { return 4; }
    // Only for a file with an input handle: loads all data and forgets the index.
    void prepare_for_writing() override;
    // Requires at most "open": empties data and index and writes a zero length word.
    void clear() override;
    // Requires at most "open"; the base algorithm, then the length word is rewritten with the new length.
    uint32_t add_string(const char* text) override;
};

}  // namespace OFE
