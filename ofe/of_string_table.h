// String tables: runs of NUL-terminated strings addressed by offset, read in place and added to
// with reuse of whole matching strings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "ofe/of_state_machine.h"

namespace OFE {

class DATA_MAP;

class OF_XML_WRITER;

class OF_STRING_TABLE_MANAGER {
public:
    // `data` holds the table's bytes and stays its owner's (for ELF: the section's raw data).
    explicit OF_STRING_TABLE_MANAGER(DATA_MAP* data) : data_(data) {}
    OF_STRING_TABLE_MANAGER(const OF_STRING_TABLE_MANAGER&) = delete;
    OF_STRING_TABLE_MANAGER& operator=(const OF_STRING_TABLE_MANAGER&) = delete;
    virtual ~OF_STRING_TABLE_MANAGER() = default;

    virtual const char* table_name() const { return ""; }
    // The string at `offset`; null when the offset is not below the data length, "" for a
    // string that is not terminated before the end of the data.
    const char* get_string(uint32_t offset);
    // Loads all data and forgets the index.
    virtual void prepare_for_writing();
    // Empties the data and the index.
    virtual void clear();
    // The offset of `text`, appended when the table does not hold it as a whole string yet.
    virtual uint32_t add_string(const char* text);
    // True, with the offset, when `text` is in the index (never before the index is built).
    virtual bool find_string(const char* text, uint32_t& offset) const;
    // Where strings begin: 0, or 4 past a leading length word.
    virtual uint32_t first_string_offset() const { return 0; }
    // Prints the table as offset and string rows; nothing for an empty table.
    void dump(FILE* out);
    // A "string_table" element with one "string" element per string and its offset.
    void write_xml(OF_XML_WRITER& xml);

    DATA_MAP* data() const { return data_; }

protected:
    // Where the strings end: the table's size, or the end of the bytes the file holds when that comes first
    // (a table that claims more than the file holds lists only what is there).
    uint64_t strings_end();

    void build_index();
    std::map<std::string, uint32_t> index_;
    DATA_MAP* data_;
};

// A string table with a lifecycle state (whose changes always succeed).
class OF_STRING_TABLE : public OF_STRING_TABLE_MANAGER, public OF_STATE_MACHINE {
public:
    OF_STRING_TABLE(DATA_MAP* data, OBJECT_FILE* owner) : OF_STRING_TABLE_MANAGER(data), OF_STATE_MACHINE(owner) {}
};

}  // namespace OFE
