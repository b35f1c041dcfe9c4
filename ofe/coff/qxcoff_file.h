// QXCOFF_FILE: the object file of the tool chain's own COFF format in its three versions; the file and
// optional headers, the header queries, and where the section, symbol and string tables lie.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ofe/coff/qxcoff_section.h"
#include "ofe/object_file.h"
#include "util/data_map.h"

namespace OFE {

class QXCOFF_STRING_TABLE;
class QXCOFF_SYMBOL_TABLE;

// The file header, field for field, in host byte order.
struct QXCOFF_FILE_HEADER {
    uint16_t f_magic = 0;
    uint16_t f_nscns = 0;
    uint32_t f_timdat = 0;
    uint32_t f_symptr = 0;
    uint32_t f_nsyms = 0;
    uint16_t f_opthdr = 0;
    uint16_t f_flags = 0;
    uint16_t f_target_id = 0;  // versions "1" and "2" only
};

// The optional header, field for field, in host byte order; all zero when the file has none.
struct QXCOFF_OPTIONAL_HEADER {
    uint16_t o_magic = 0;
    uint16_t o_vstamp = 0;
    uint32_t o_tsize = 0;
    uint32_t o_dsize = 0;
    uint32_t o_bsize = 0;
    uint32_t o_entry = 0;
    uint32_t o_text_start = 0;
    uint32_t o_data_start = 0;
};

class QXCOFF_FILE : public OBJECT_FILE {
public:
    // A file read from input gets its headers from read(); one made in memory starts as an empty
    // little-endian relocatable file of the info's version and target.
    explicit QXCOFF_FILE(const OF_FILE_INFO& info);
    ~QXCOFF_FILE() override;

    // Whether the first bytes in `head` are QXCOFF's: f_magic, read little- and big-endian, is the magic of
    // version "2", then of version "1" (each little endian first), then a version "0" target id. If so fills
    // the info's format, version, control byte order and target (f_target_id in versions "1" and "2").
    static bool identify(DATA_MAP& head, OF_FILE_INFO& info);

    // 2 when F_EXEC is set; else 1 when F_RELFLG is clear; else 0.
    OF_FILE_TYPE file_type() const override;
    // 1 clears F_EXEC, 2 sets it; other types are refused (code 5) and change nothing. At most "locked".
    void set_file_type(OF_FILE_TYPE type) override;
    uint32_t time_stamp() const override { return header_.f_timdat; }
    // Requires at most "locked".
    void set_time_stamp(uint32_t seconds);
    // The target of f_target_id (versions "1", "2") or f_magic (version "0"); 0 for an unknown id, and
    // 0 with code 3 for an invalid version.
    OF_TARGET target() const override;
    // True exactly when the optional header is present.
    bool has_entry_point() const override { return has_optional_header(); }
    uint32_t entry_point() const override { return optional_.o_entry; }
    // The optional header's o_entry (written only with the optional header); requires at most "locked".
    void set_entry_point(uint32_t address) override {
        if (require_at_most_state(OF_STATE_LOCKED) == 0) optional_.o_entry = address;
    }
    // The byte order of the target data, from F_LITTLE / F_BIG; 0 when neither or both are set.
    OF_ENDIAN endian() const override;
    // Requires at most "locked"; clears both bits, then sets the one of `endian` (1 or 2). Any other value
    // is reported (code 5) and leaves both clear.
    void set_endian(OF_ENDIAN endian) override;
    // The control byte order of headers, tables and entries (found by identification).
    OF_ENDIAN machine_endian() const override { return control_endian_; }

    // Reads the file header, the optional header, the section-table extent and the string table, and
    // checks the symbol-table offset: 0; 1 after "invalid symbol table offset"; -1 for an invalid version.
    int read(const OF_FILE_INFO& info) override;

    // Writing. "locked": everything the file holds is brought into memory, the symbol table, the sections and
    // the build attributes enter "locked" (their own steps), and the header takes the tables' counts, the
    // time (when it has none), the optional header's sizes and starts, and the I-code marks. "formatted": the
    // headers, raw data, relocations, line numbers, symbols and strings are placed one after another, without
    // gaps. "saved": all of it is written. Reverting to "open" reverts the tables too.
    int32_t on_revert(int32_t target_state) override;

protected:
    int32_t lock_for_writing() override;
    int32_t lay_out() override;
    int32_t write_out() override;

public:

    QXCOFF_SECTION_TABLE* section_table() override;
    // The symbol table (a QXCOFF_SYMBOL_TABLE), created on first use; empty when the file has none.
    OF_SYMBOL_TABLE* symbol_table() override;
    QXCOFF_SYMBOL_TABLE* qxcoff_symbol_table();
    // The string table, created on first use; its data are empty when the file has none.
    QXCOFF_STRING_TABLE* string_table();

    // The producer version of the build attributes; without one, that of o_vstamp (only with the optional
    // header): from 1000 on, major = o_vstamp / 1000 and minor = o_vstamp % 1000; below, major =
    // o_vstamp / 100 and minor = o_vstamp % 100.
    bool has_producer_version() override;
    uint32_t producer_major() override;
    uint32_t producer_minor() override;
    // The build attributes' version, else "major.minor" of o_vstamp, or "" without a producer version.
    std::string producer_version() override;
    // The table of the section "$build.attributes", whose number is remembered once found.
    OF_BUILD_ATTR_TABLE* build_attribute_table() override;
    // Stores o_vstamp = minor % 1000 + major * 1000. Requires at most "locked".
    void set_producer_version(uint32_t major, uint32_t minor);
    // The build attributes as every file records them, and o_vstamp.
    void set_producer(const char* name, uint32_t major, uint32_t minor, uint32_t patch) override;
    // The name of one f_flags value (see qxcoff_file_flag_name).
    static const char* flag_name(uint32_t value);

    // Sizes of the version's records; 0, with code 3 "invalid file format version", for an invalid version.
    uint32_t file_header_size();
    uint32_t reloc_entry_size();
    // The version name ("0", "1", "2") for messages.
    const char* version_name() const;

    const QXCOFF_FILE_HEADER& header() const { return header_; }
    const QXCOFF_OPTIONAL_HEADER& optional_header() const { return optional_; }
    // True when f_opthdr is 28; any other value means no optional header.
    bool has_optional_header() const;
    // Where the symbol table lies and how many entries the header claims (0, 0 when there is none or
    // its offset was refused).
    uint32_t symbol_table_offset() const { return symbols_valid_ ? header_.f_symptr : 0; }
    uint32_t symbol_table_claimed() const { return symbols_valid_ ? header_.f_nsyms : 0; }
    // Where the string table lies and its length word; 0, 0 when there is none.
    uint32_t string_table_offset() const { return string_offset_; }
    uint32_t string_table_length() const { return string_length_; }

    // The one place where this format attaches file bytes: `length` bytes at object offset `offset`, read
    // in the control byte order on first use. Bytes the input does not hold read as zeros and cost nothing.
    void map_bytes(DATA_MAP& map, uint64_t offset, uint64_t length);
    // How many whole entries of `entry_size` bytes the input holds for the object from `offset` on: the
    // bound for every count the file claims.

    DATA_MAP& symbol_data() { return symbol_data_; }
    DATA_MAP& string_data() { return string_data_; }
    // The description "qx_coff": file header, optional header, sections, symbols and string table.
    void write_xml(OF_XML_WRITER& xml) override;

protected:
    // Table offsets, f_flags and its stripped-information bits, the target's rows, the control byte
    // order and, with the "optheader" category, the optional header.
    void add_format_header_rows(OF_TEXT_TABLE& rows) override;
    // Sections, line-number tables, symbols, strings and build attributes, by the selected categories.
    void dump_contents(FILE* out) override;
    // Adds the section "$build.attributes" when there is none: not allocated (STYP_COPY), 8-bit units.
    OF_BUILD_ATTR_TABLE* build_attribute_table_for_change() override;

private:
    // Finds and maps the string table by the location rules; reports a length that overruns the object.
    void read_string_table();
    // Where the string table would start when there is no symbol table: after the last stored block.
    uint64_t end_of_stored_blocks();

    OF_ENDIAN control_endian_;
    QXCOFF_FILE_HEADER header_;
    QXCOFF_OPTIONAL_HEADER optional_;
    bool symbols_valid_ = false;
    uint32_t build_attr_section_ = 0;  // the section's number + 1; 0 until found
    uint32_t string_offset_ = 0;
    uint32_t string_length_ = 0;
    DATA_MAP symbol_data_;
    DATA_MAP string_data_;
    std::unique_ptr<QXCOFF_SECTION_TABLE> sections_;
    std::unique_ptr<QXCOFF_STRING_TABLE> strings_;
    std::unique_ptr<QXCOFF_SYMBOL_TABLE> symbols_;
};

// The QXCOFF view of an object: null, with code 3 "attempting to get QX-COFF interface for non-QX-COFF
// file" reported on the object, when it is of another format.
QXCOFF_FILE* as_qxcoff_file(OBJECT_FILE* object);
const QXCOFF_FILE* as_qxcoff_file(const OBJECT_FILE* object);

// What a QXCOFF view reports on an object of another format (code 3).
inline constexpr const char* not_qxcoff_message = "attempting to get QX-COFF interface for non-QX-COFF file";

}  // namespace OFE
