// Build-attribute tables: the vendor-subsection encoding of an attributes section, held as vendor
// subsections, attribute lists and attributes; the process-wide tag vocabularies. (The ELF and QXCOFF forms:
// ofe/elf/elf_build_attr.h, ofe/coff/qxcoff_build_attr.h.)
//
// Encoding (multi-byte integers in the section data's byte order): a format byte ("A"), then vendor
// subsections until the end of the data: a 32-bit length counted from its own first byte, the vendor name
// (NUL-terminated), then attribute lists until the subsection's end. A list is a ULEB128 scope tag (1 file,
// 2 section, 3 symbol), a 32-bit size counted from the tag's first byte, for scopes 2 and 3 a list of
// ULEB128 indexes ended by 0, then attributes: a ULEB128 tag and a parameter whose form the tag's kind gives.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ofe/of_attribute_tags.h"
#include "ofe/of_state_machine.h"
#include "ofe/of_value_names.h"

namespace OFE {

class DATA_MAP;

class OF_XML_WRITER;

class OBJECT_FILE;
class OF_MACHINE_DB;
class OF_SECTION;
class OF_BUILD_ATTR_TABLE;
class OFBA_VENDOR_SCN;
class OFBA_ATTR_LIST;

// The scope tags of attribute lists.
enum OFBA_SCOPE : uint32_t { OFBA_TAG_FILE = 1, OFBA_TAG_SECTION = 2, OFBA_TAG_SYMBOL = 3 };

struct OFBA_TAG_DESC {
    uint32_t tag;
    std::string name;
    std::string vendor;
};

// The tags of one vendor in files of one target. Descriptors stay where they are until the process ends,
// and the vocabularies are shared by every file of the process: a tag that one file's database registered
// is known to every later file of the same vendor and target (so what a later parse can read and skip
// depends on the files opened before).
class OFBA_VOCABULARY {
public:
    explicit OFBA_VOCABULARY(std::string vendor) : vendor_(std::move(vendor)) {}
    const std::string& vendor() const { return vendor_; }
    // The descriptor of a tag; null when the vocabulary does not know it.
    const OFBA_TAG_DESC* find(uint32_t tag) const;
    // Registers a tag (a later name replaces an earlier one) and returns its descriptor.
    const OFBA_TAG_DESC* add(uint32_t tag, const char* name);
    void add_all(std::span<const VALUE_NAME> tags);

private:
    std::string vendor_;
    std::map<uint32_t, OFBA_TAG_DESC> tags_;
};

// The vocabulary of a vendor for the database's target, made the first time the pair is met: the three
// scope tags, then what the database registers for the vendor. Shared by every file until the process ends.
OFBA_VOCABULARY& ofba_vocabulary(const char* vendor, OF_MACHINE_DB& db);

class OFBA_ATTR {
public:
    OFBA_ATTR(OFBA_ATTR_LIST* list, uint32_t index) : list_(list), index_(index) {}

    OFBA_ATTR_LIST* list() const { return list_; }
    uint32_t index() const { return index_; }
    const OFBA_TAG_DESC* descriptor() const { return desc_; }
    uint32_t tag() const { return desc_ ? desc_->tag : 0; }
    const char* tag_name() const { return desc_ ? desc_->name.c_str() : ""; }
    // The vendor of the tag's vocabulary.
    const char* vendor_name() const { return desc_ ? desc_->vendor.c_str() : ""; }
    // The parameter kind the value was read or made with.
    OFBA_PARAM_KIND kind() const { return kind_; }
    uint32_t numeric_value() const { return number_; }
    const std::string& string_value() const { return text_; }
    // Each requires the file at most "open" and marks the table modified.
    void set_numeric_value(uint32_t value);
    void set_string_value(const char* value);

    // Reads the tag and its parameter at the cursor: 0; -1 for an unknown tag that must be understood;
    // -2 when the parameter's form cannot be told (nothing more is read).
    int32_t parse(DATA_MAP& data);

private:
    friend class OFBA_ATTR_LIST;
    OFBA_ATTR_LIST* list_;
    uint32_t index_;
    const OFBA_TAG_DESC* desc_ = nullptr;
    OFBA_PARAM_KIND kind_ = OFBA_KIND_UNKNOWN;
    uint32_t number_ = 0;
    std::string text_;
};

class OFBA_ATTR_LIST {
public:
    OFBA_ATTR_LIST(OFBA_VENDOR_SCN* vendor, uint32_t index) : vendor_(vendor), index_(index) {}
    virtual ~OFBA_ATTR_LIST();
    OFBA_ATTR_LIST(const OFBA_ATTR_LIST&) = delete;
    OFBA_ATTR_LIST& operator=(const OFBA_ATTR_LIST&) = delete;

    OFBA_VENDOR_SCN* vendor() const { return vendor_; }
    uint32_t index() const { return index_; }
    // The scope tag as read or made, and its descriptor (null for a tag the vocabulary does not know).
    uint32_t tag() const { return tag_; }
    const OFBA_TAG_DESC* descriptor() const { return desc_; }
    // The tag's name; "Tag_0x%x" of the number for an unknown one.
    std::string tag_name() const;
    uint32_t size_as_read() const { return size_; }
    bool parsed() const { return parsed_; }

    uint32_t attribute_count() const { return static_cast<uint32_t>(attributes_.size()); }
    OFBA_ATTR* attribute_at(uint32_t i) const { return i < attributes_.size() ? attributes_[i].get() : nullptr; }
    // The first attribute with the tag, or null.
    OFBA_ATTR* find_attribute(uint32_t tag) const;
    // Adds an attribute of the vendor's tag at the end (requires "open"); null when the state forbids it.
    OFBA_ATTR* add_attribute(uint32_t tag);

    // The index numbers as the section stores them.
    const std::vector<uint32_t>& stored_indexes() const { return indexes_; }
    uint32_t index_count() const { return static_cast<uint32_t>(indexes_.size()); }
    // The index at a position: the stored number. Past the end 0, with the index-valid flag cleared.
    virtual uint32_t index_entry(uint32_t position) const;
    // Stores an index at a position; past the end nothing changes and the result is the entry count,
    // otherwise the position. Requires "open"; marks the table modified.
    virtual uint32_t set_index_entry(uint32_t position, uint32_t index);
    // Appends an index (requires "open"; marks the table modified); its position.
    virtual uint32_t append_index_entry(uint32_t index);
    // Whether the last index access found an entry (process-wide).
    static bool index_valid();

    // The indexes of a symbol-scope or section-scope list. Asked of a list of another scope, each reports
    // code 5 ("cannot access symbol index in a %s attribute list" and the like) and gives the value of a
    // missing entry, or false for a whole list.
    uint32_t symbol_index(uint32_t position);
    uint32_t section_index(uint32_t position);
    [[nodiscard]] bool symbol_indexes(std::vector<uint32_t>& out);
    [[nodiscard]] bool section_indexes(std::vector<uint32_t>& out);

    // Reads the list at the cursor; 0, or -1 when part of it failed. Reading stops at `limit`.
    int32_t parse(DATA_MAP& data, uint64_t limit);
    // Maps the indexes of a symbol-scope list through `old_to_new`; entries of removed symbols (mapped to
    // 0xFFFFFFFF, or past the map) are dropped. Marks the table modified when anything changed.
    void renumber_symbols(const std::vector<uint32_t>& old_to_new);

protected:
    static void set_index_valid(bool valid);
    // The number the section stores for an index (the index itself; QXCOFF stores index + 1).
    virtual uint32_t stored_number(uint32_t index) const { return index; }

private:
    friend class OFBA_VENDOR_SCN;
    uint32_t entry_or_report(uint32_t scope, uint32_t position, const char* what);
    bool entries_or_report(uint32_t scope, std::vector<uint32_t>& out, const char* what);

    OFBA_VENDOR_SCN* vendor_;
    uint32_t index_;
    uint32_t tag_ = 0;
    const OFBA_TAG_DESC* desc_ = nullptr;
    uint32_t size_ = 0;
    bool parsed_ = false;
    std::vector<std::unique_ptr<OFBA_ATTR>> attributes_;
    std::vector<uint32_t> indexes_;
};

class OFBA_VENDOR_SCN {
public:
    OFBA_VENDOR_SCN(OF_BUILD_ATTR_TABLE* table, uint32_t index) : table_(table), index_(index) {}
    virtual ~OFBA_VENDOR_SCN();
    OFBA_VENDOR_SCN(const OFBA_VENDOR_SCN&) = delete;
    OFBA_VENDOR_SCN& operator=(const OFBA_VENDOR_SCN&) = delete;

    OF_BUILD_ATTR_TABLE* table() const { return table_; }
    uint32_t index() const { return index_; }
    // "anon" until a name is read or set.
    const char* name() const { return name_.c_str(); }
    // Requires "open"; marks the table modified.
    void set_name(const char* name);
    uint32_t length_as_read() const { return length_; }
    // The tag vocabulary of the vendor in files of the table's target.
    OFBA_VOCABULARY& vocabulary();

    uint32_t list_count() const { return static_cast<uint32_t>(lists_.size()); }
    OFBA_ATTR_LIST* list_at(uint32_t i) const { return i < lists_.size() ? lists_[i].get() : nullptr; }
    // Adds a list of a scope tag at the end (requires "open"); null when the state forbids it.
    OFBA_ATTR_LIST* add_list(uint32_t tag);
    // The attribute with the tag in the file-scope lists, searched in list order; null when none.
    OFBA_ATTR* find_file_attribute(uint32_t tag) const;

    // Reads the subsection at the cursor; 0, or -1 when part of it failed. Reading stops at `limit`.
    int32_t parse(DATA_MAP& data, uint64_t limit);

protected:
    virtual std::unique_ptr<OFBA_ATTR_LIST> make_list(uint32_t index);

private:
    OFBA_ATTR_LIST* append_list();

    OF_BUILD_ATTR_TABLE* table_;
    uint32_t index_;
    uint32_t length_ = 0;
    std::string name_ = "anon";
    OFBA_VOCABULARY* vocabulary_ = nullptr;
    std::vector<std::unique_ptr<OFBA_ATTR_LIST>> lists_;
};

class OF_BUILD_ATTR_TABLE : public OF_STATE_MACHINE {
public:
    // A table over the section's data; empty until parsed.
    explicit OF_BUILD_ATTR_TABLE(OF_SECTION* section);
    ~OF_BUILD_ATTR_TABLE() override;

    // Entering "locked" encodes a modified table back into the section's data.
    int32_t on_progress(int32_t new_state) override;

    // Reads the section once: 0, or -1 when any part failed (a table that already holds subsections is
    // not read again and gives 0). Nothing is reported on the file: a failed part just holds less.
    int32_t parse();
    // The result of the parse made at creation. An attribute whose parameter kind cannot be told ends its
    // list; which kinds are known comes from the process-wide vocabularies (OFBA_VOCABULARY), so the same
    // bytes may parse further once another file has registered more tags.
    int32_t parse_result() const { return parse_result_; }

    OF_SECTION* section() const { return section_; }
    OBJECT_FILE* file() const { return owner(); }
    // The format byte as read; "A" until read.
    uint8_t format_version() const { return format_version_; }
    bool modified() const { return modified_; }
    void set_modified() { modified_ = true; }
    // Checks that the file and the table are at most "open" (reporting code 5 when not).
    [[nodiscard]] bool may_change();

    uint32_t vendor_count() const { return static_cast<uint32_t>(vendors_.size()); }
    OFBA_VENDOR_SCN* vendor_at(uint32_t i) const { return i < vendors_.size() ? vendors_[i].get() : nullptr; }
    // The first subsection from index `first` on whose name equals `name` exactly; null when none.
    OFBA_VENDOR_SCN* find_vendor(const char* name, uint32_t first = 0) const;
    // Adds a named subsection at the end (requires "open"); null when the state forbids it.
    OFBA_VENDOR_SCN* add_vendor(const char* name);

    // Prints the table (nothing when it holds no subsection).
    virtual void dump(FILE* out);
    // Writes the table as a "build_attributes" element: vendors, their lists and attributes.
    virtual void write_xml(OF_XML_WRITER& xml);
    // Encodes the table into `out` from its cursor on.
    void encode(DATA_MAP& out) const;
    // Maps the symbol indexes of every symbol-scope list (see OFBA_ATTR_LIST::renumber_symbols).
    void renumber_symbols(const std::vector<uint32_t>& old_to_new);

protected:
    virtual std::unique_ptr<OFBA_VENDOR_SCN> make_vendor(uint32_t index);
    // The heading line of the format before the table; none by default.
    virtual void dump_heading(FILE*) {}
    // The number a section index is shown with.
    virtual uint32_t section_number(uint32_t index) const { return index; }

private:
    void dump_list(FILE* out, OFBA_ATTR_LIST& list);

    OF_SECTION* section_;
    std::vector<std::unique_ptr<OFBA_VENDOR_SCN>> vendors_;
    uint8_t format_version_ = 'A';
    bool modified_ = false;
    int32_t parse_result_ = 0;
};

}  // namespace OFE
