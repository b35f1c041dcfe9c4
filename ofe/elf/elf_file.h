// ELF_FILE: the object file of the 32-bit ELF format; its file header, header queries and tables.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"

namespace OFE {

class ELF_DYNAMIC_DB;
class ELF_SEGMENT_TABLE;
class ELF_SYMBOL_TABLE;

// The ELF file header, field for field, in host byte order.
struct ELF_HEADER {
    uint8_t e_ident[16] = {};
    uint16_t e_type = 0;
    uint16_t e_machine = 0;
    uint32_t e_version = 0;
    uint32_t e_entry = 0;
    uint32_t e_phoff = 0;
    uint32_t e_shoff = 0;
    uint32_t e_flags = 0;
    uint16_t e_ehsize = 0;
    uint16_t e_phentsize = 0;
    uint16_t e_phnum = 0;
    uint16_t e_shentsize = 0;
    uint16_t e_shnum = 0;
    uint16_t e_shstrndx = 0;
};

class ELF_FILE : public OBJECT_FILE {
public:
    explicit ELF_FILE(const OF_FILE_INFO& info);
    ~ELF_FILE() override;

    // Whether the first bytes in `head` are ELF's; if so fills the info's format, version ("4" for
    // EV_CURRENT, else 0), byte order (EI_DATA 1 little, anything else big) and target (from e_machine).
    static bool identify(DATA_MAP& head, OF_FILE_INFO& info);

    uint32_t format_version() const override { return header_.e_version == 1 ? 4 : 0; }
    // e_type when it is 1 to 4, else 0.
    OF_FILE_TYPE file_type() const override;
    void set_file_type(OF_FILE_TYPE type) override;
    // The target of e_machine; 0x10000 + e_machine when it has no target id of its own.
    OF_TARGET target() const override;
    uint32_t entry_point() const override { return header_.e_entry; }
    // e_entry; requires at most "locked".
    void set_entry_point(uint32_t address) override;
    // A machine without a target of its own is named by its e_machine description.
    const char* machine_name() const override;
    // EI_DATA 1 little, 2 big, else 0.
    OF_ENDIAN endian() const override;
    // EI_DATA.
    void set_endian(OF_ENDIAN endian) override;
    // Reads the file header, the section header table and the program header table.
    int read(const OF_FILE_INFO& info) override;

    // Writing. "locked": everything the file holds is brought into memory; section 0 must be SHT_NULL
    // ("section 0 is not a NULL section", code 7); a file being built gets a section-name table; the symbol
    // tables, relocations, dynamic, version, alias and attribute tables enter "locked" (their own steps); the
    // sections take their names and sizes, and the header its counts. "formatted": a file whose program headers
    // were read keeps the places of everything its segments hold and puts the rest after them; any other file
    // is laid out afresh: header, program headers, sections in index order at their alignment, section headers.
    // "saved": all of it is written. Reverting to "open" reverts the tables too.
    int32_t on_revert(int32_t target_state) override;

protected:
    int32_t lock_for_writing() override;
    int32_t lay_out() override;
    int32_t write_out() override;

public:
    ELF_HEADER& header_for_change() { return header_; }
    // Whether the file's structures are big-endian: EI_DATA's order, or the identified one when it names none
    // (reading takes such a file as big-endian, and writing keeps it so).
    bool big_endian_structures() const {
        return (endian() == OF_ENDIAN_UNKNOWN ? info().endian : endian()) == OF_ENDIAN_BIG;
    }
    // Whether a PT_DYNAMIC segment exists.
    bool has_dynamic_segment() override;

    ELF_SECTION_TABLE* section_table() override;
    // The table of the section named ".symtab" (added, empty, when the file has none).
    OF_SYMBOL_TABLE* symbol_table() override;
    // After the section table was renumbered: the section indexes the file keeps follow `map`.
    void renumber_sections(const std::vector<uint32_t>& map);
    // The table of the first section of type 0x70000003, when the target supports build attributes.
    OF_BUILD_ATTR_TABLE* build_attribute_table() override;
    // The program header table, created on first use.
    ELF_SEGMENT_TABLE* segment_table();

    // The dynamic-linking sections of an executable or shared object, made on first use; null, with
    // an illegal-operation error, for other files.
    ELF_DYNAMIC_DB* dynamic_db();
    // The database if it has been made, without making it.
    const ELF_DYNAMIC_DB* existing_dynamic_db() const { return dynamic_db_.get(); }
    // The dynamic string table: the database's when it has been made, else the section ".dynstr".
    ELF_STRING_TABLE* dynamic_string_table();

    const ELF_HEADER& header() const { return header_; }
    // Whether the file carries symbol version information (executables and shared objects).
    bool carries_version_info() const;
    // The description "elf_file": the file header, sections, symbol tables and string tables.
    void write_xml(OF_XML_WRITER& xml) override;

protected:
    // The attributes table changes go to: the existing one, or a new section "__QX_build_attributes" of type
    // SHT_ATTRIBUTES when the target has build attributes.
    OF_BUILD_ATTR_TABLE* build_attribute_table_for_change() override;
    // "ELF Class:", the OS/ABI when it is not 0, e_flags and the names of its bits.
    void add_format_header_rows(OF_TEXT_TABLE& rows) override;
    // Sections, then every symbol table, string table, hash table, dynamic table and version table,
    // the build attributes and the program segment table, by the selected categories.
    void dump_contents(FILE* out) override;

private:
    // Stores the section names in the section-name table.
    void store_section_names();
    // Whether the layout keeps what the segments read from the input hold in place.
    bool keeps_segment_layout();

    ELF_HEADER header_;
    std::unique_ptr<ELF_SECTION_TABLE> sections_;
    std::unique_ptr<ELF_SEGMENT_TABLE> segments_;
    std::unique_ptr<ELF_DYNAMIC_DB> dynamic_db_;
    bool making_dynamic_db_ = false;
    uint32_t symtab_index_ = 0;
};

// What an ELF view reports on an object of another format (code 3).
inline constexpr const char* not_elf_message = "attempting to get ELF interface for non-ELF file";

// The ELF view of an object: null, with code 3 "attempting to get ELF interface for non-ELF file" reported
// on it, when it is of another format.
ELF_FILE* as_elf_file(OBJECT_FILE* object);
const ELF_FILE* as_elf_file(const OBJECT_FILE* object);

}  // namespace OFE
