// OF_MACHINE_DB: what the library knows about one target family, and target selection.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ofe/of_attribute_tags.h"
#include "ofe/of_types.h"

namespace OFE {

class DATA_MAP;

class OBJECT_FILE;
class ELF_SECTION;
class OF_SECTION;
class OFBA_ATTR;
class OFBA_VOCABULARY;
class OF_RELOC_VOCABULARY;

// One label/value row that a database adds to the information dump of a file.
struct OF_DUMP_ROW {
    std::string label;
    std::string value;
};
using OF_DUMP_ROWS = std::vector<OF_DUMP_ROW>;

// A special ELF section of a target: its name, section type and flags.
struct OF_SPECIAL_SECTION {
    const char* name;
    uint32_t sh_type;
    uint32_t sh_flags;
};

// How a relocation's field is laid out and checked. The tables keep one row per template id.
struct OF_RELOC_TEMPLATE {
    uint32_t id;
    const char* name;
    uint32_t flags;            // bit 0 set exactly in the PC-relative templates
    int32_t reserved;          // -1 in every table
    uint32_t check;            // 0 none, 1 signed, 2 unsigned, 3 signed or unsigned
    uint32_t field_width;      // bits
    uint32_t bit_offset;       // of the field in its container
    uint32_t container_width;  // bits
    uint32_t right_shift;      // applied to the value
};
inline constexpr uint32_t OF_RELOC_PC_RELATIVE = 0x1;

// Templates by id, while a vocabulary is being made; a target's row replaces a generic one of the same id.
using OF_RELOC_TEMPLATE_MAP = std::map<uint32_t, const OF_RELOC_TEMPLATE*>;

// One row of a relocation name table: ids below 256 are not looked up.
struct OF_RELOC_NAME {
    const char* name;
    uint32_t type;
    uint32_t template_id;
};
// A type number that ends a name table.
inline constexpr uint32_t OF_RELOC_END = 0xFFFFFFFF;

// A relocation type of one format and target: its name, number and template (null when it has none).
struct OF_RELOC_ENTRY {
    const char* name;
    uint32_t type;
    const OF_RELOC_TEMPLATE* templ;
};

// The relocation names and templates of one (format, target) pair, made once and shared by every file of
// the pair until the process ends.
class OF_RELOC_VOCABULARY {
public:
    OF_RELOC_VOCABULARY(OF_FORMAT format, OF_TARGET target) : format_(format), target_(target) {}
    OF_FORMAT format() const { return format_; }
    OF_TARGET target() const { return target_; }
    // The entry of a type number or a name; null when the vocabulary has none.
    const OF_RELOC_ENTRY* find_type(uint32_t type) const;
    const OF_RELOC_ENTRY* find_name(const char* name) const;
    size_t size() const { return by_type_.size(); }
    // Adds each row up to the end of the table or a row of type OF_RELOC_END. A template id from 256 on
    // that `templates` lacks is reported on `file` (code 4) and the entry is kept without a template.
    void register_names(std::span<const OF_RELOC_NAME> table, const OF_RELOC_TEMPLATE_MAP& templates,
                        OBJECT_FILE* file);

private:
    OF_FORMAT format_;
    OF_TARGET target_;
    std::map<uint32_t, OF_RELOC_ENTRY> by_type_;
    std::map<std::string, OF_RELOC_ENTRY, std::less<>> by_name_;
};

// The generic templates (ids 256 to 290) and the generic QXCOFF relocation names.
std::span<const OF_RELOC_TEMPLATE> generic_reloc_templates();
std::span<const OF_RELOC_NAME> generic_qxcoff_reloc_names();
// The vocabulary of the file's format and target: found in the process-wide list, or made through the
// file's database (`register_relocations`) and added to it. Problems are reported on the file that makes it.
const OF_RELOC_VOCABULARY& relocation_vocabulary(OBJECT_FILE* file);

// Whether a vendor is one of the ABI vendors whose unknown tags follow the even/odd rule.
bool is_abi_attribute_vendor(const char* vendor);
// The generic rule: for the ABI vendors 3 for an even tag and 2 for an odd one; 0 for any other vendor.
OFBA_PARAM_KIND generic_attribute_parameter_kind(const char* vendor, uint32_t tag);

// The identification of a target: its numbers in both formats, address unit and ABI vendor.
struct MACHINE_IDENT {
    OF_TARGET target;
    uint16_t coff_target_id;   // 0: the target has no QXCOFF id
    uint16_t elf_machine;      // 0: the target has no ELF machine number
    uint32_t address_unit_bits;
    const char* abi_vendor_name;
};

// The identification row of a target id 1 to 11, or of the plain database for any other id.
const MACHINE_IDENT& machine_ident(OF_TARGET target);
// Target of a QXCOFF target id (0 when none).
OF_TARGET coff_target_of(uint32_t coff_target_id);
// Target of an ELF machine number at identification (0 when it has no target id of its own).
OF_TARGET elf_target_of(uint32_t elf_machine);

class OF_MACHINE_DB {
public:
    OF_MACHINE_DB(OBJECT_FILE* file, const MACHINE_IDENT& ident) : file_(file), ident_(ident) {}
    OF_MACHINE_DB(const OF_MACHINE_DB&) = delete;
    OF_MACHINE_DB& operator=(const OF_MACHINE_DB&) = delete;
    virtual ~OF_MACHINE_DB() = default;

    // Makes the database of a target (a plain one for ids outside 1 to 11), bound to `file`.
    static std::unique_ptr<OF_MACHINE_DB> create(OF_TARGET target, OBJECT_FILE* file);

    virtual OF_TARGET target() const { return ident_.target; }
    virtual uint32_t coff_target_id() const { return ident_.coff_target_id; }
    virtual uint32_t elf_machine() const { return ident_.elf_machine; }
    virtual uint32_t address_unit_bits() const { return ident_.address_unit_bits; }
    virtual const char* abi_vendor_name() const { return ident_.abi_vendor_name; }
    // Byte order of a section's data (of the file's sections in general when `section` is null): the
    // file's own. Rill reads the code sections of an ELF file whose e_flags bit 0 is set the other way.
    virtual OF_ENDIAN section_data_endian(const OF_SECTION* section = nullptr) const;
    // Prints the five lines "FILE:"name"", "FORMAT:", "FORMAT_VER:", "MACHINE_NAME:" and "ENDIAN:" that
    // describe the file to tools that read them; ARM, Gull and Skua add lines of their own.
    virtual void print_target_description(FILE* out);
    // Set-up after the file has been created and read.
    virtual void file_created() {}

    // ---- Build attributes ----
    // True for every target database; false for the plain one.
    virtual bool build_attributes_supported() const { return ident_.target != OF_TARGET_NONE; }
    // Adds the tag names of a vendor to its vocabulary: "QX" gets the run-time vendor, producer and
    // exception tags; other vendors nothing.
    virtual void register_attribute_tags(const char* vendor, OFBA_VOCABULARY& vocabulary);
    // The parameter kind of a vendor's tag (an OFBA_PARAM_KIND): the generic rule.
    virtual OFBA_PARAM_KIND attribute_parameter_kind(const char* vendor, uint32_t tag) const;
    // A target's own parser for an attribute's parameter; true, with `result` set, when it parsed it.
    virtual bool parse_attribute_parameter(OFBA_ATTR& attribute, DATA_MAP& data, int32_t& result);
    // The text of an attribute's value, by tag number whatever the vendor (run-time vendor, exceptions,
    // producer versions); null when there is none.
    virtual const char* attribute_value_text(const OFBA_ATTR& attribute);
    // The value of "QX" tag 4 when the file has build attributes, else 0.
    virtual uint32_t rts_vendor();

    // ---- Dumps and names ----
    // Adds the target's rows to the QXCOFF information dump: "CPU Generation:" with the CPU flags in hex.
    // False, adding nothing, for a file of another format.
    virtual bool add_coff_dump_rows(OF_DUMP_ROWS& rows);
    // A target's name of an ELF section type or of one section flag bit; null when it has none.
    virtual const char* section_type_name(uint32_t) const { return nullptr; }
    virtual const char* section_flag_name(uint32_t) const { return nullptr; }
    // A target's name of an extended section flag, an OS/ABI value, an e_flags bit, a segment type or a
    // segment flag bit; null when it has none.
    virtual const char* ext_flag_name(uint32_t) const { return nullptr; }
    virtual const char* elf_osabi_name(uint32_t) const { return nullptr; }
    virtual const char* elf_flag_name(uint32_t) const { return nullptr; }
    virtual const char* segment_type_name(uint32_t) const { return nullptr; }
    virtual const char* segment_flag_name(uint32_t) const { return nullptr; }
    // The ELF section type of the symbol alias section.
    virtual uint32_t alias_section_type() const { return 0x7F000006; }
    // Adds the target's special ELF sections.
    virtual void register_special_sections(std::vector<OF_SPECIAL_SECTION>&) const {}
    // Whether an ELF section is blocked, and marking it so; targets without blocking answer false.
    virtual bool block(OF_SECTION*) { return false; }
    virtual void set_block(OF_SECTION*) {}
    // Whether an ELF section's QX flag word (its extended flags) holds `flag`. A section of another format
    // reports code 3 on its file and an internal error, and gives false.
    virtual bool is_qx_sh_flag_set(OF_SECTION* section, uint32_t flag);
    // Sets or clears `flag` in an ELF section's QX flag word; requires at most "open". A flag of more than
    // one bit is reported (code 5) and still applied; a section of another format as in is_qx_sh_flag_set.
    virtual void set_qx_sh_flag(OF_SECTION* section, uint32_t flag, bool on);
    // The section index that marks "near" common symbols; targets without them report code 7 and give 0.
    virtual uint32_t near_common_index();

    // ---- Relocations and symbols ----
    // Fills a vocabulary being made: a QXCOFF file gets the generic QXCOFF names, other formats nothing.
    // Targets add their templates to `templates` first, then register their names.
    virtual void register_relocations(OF_RELOC_TEMPLATE_MAP& templates, OF_RELOC_VOCABULARY& vocabulary);
    // The number of code-marker symbols; 0 for targets without them.
    virtual uint32_t count_code_markers() { return 0; }

    OBJECT_FILE* file() const { return file_; }

protected:
    // The ELF view of a section for the operation `where`: a section of another format is reported on
    // its file (code 3) and as the internal error "where: Not an ELF section", and gives null.
    static ELF_SECTION* elf_section_or_report(OF_SECTION* section, const char* where);

private:
    OBJECT_FILE* file_;
    const MACHINE_IDENT& ident_;
};

// Databases with a width of their own per object: the two Loon families.
class LOON_MACHINE_DB : public OF_MACHINE_DB {
public:
    using OF_MACHINE_DB::OF_MACHINE_DB;
    uint32_t address_unit_bits() const override { return address_unit_bits_; }
    void set_address_unit_bits(uint32_t bits) { address_unit_bits_ = bits; }

private:
    uint32_t address_unit_bits_ = 8;
};

}  // namespace OFE
