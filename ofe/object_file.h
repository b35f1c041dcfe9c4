// OBJECT_FILE: an object file of either format behind one interface; opening, identification,
// the error status and access to the raw bytes of the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "DIAG/diag.h"
#include "ofe/of_state_machine.h"
#include "ofe/of_types.h"

namespace OFE {

struct PFILE;
class DATA_MAP;

class OF_BUILD_ATTR_TABLE;
class OF_MACHINE_DB;
class OF_SECTION_TABLE;
class OF_SYMBOL_TABLE;
class OFBA_ATTR;
class OFBA_VENDOR_SCN;
class OF_TEXT_TABLE;
class OF_XML_WRITER;

// A category of the information dump: its name and what it covers.
struct OF_DUMP_CATEGORY {
    const char* name;
    const char* description;
};

// Where an object lies. Passed by value and copied into the object.
struct OF_FILE_INFO {
    PFILE* handle = nullptr;       // null for an object built in memory
    const char* name = nullptr;
    OF_FORMAT format = OF_FORMAT_UNKNOWN;
    uint32_t format_version = 0;   // QXCOFF 1 to 3; ELF 4 when e_version is 1, else 0
    OF_ENDIAN endian = OF_ENDIAN_UNKNOWN;
    OF_TARGET target = OF_TARGET_NONE;
    uint64_t start_offset = 0;     // non-zero for an archive member (which may lie past 4 GiB)
    uint32_t size = 0;             // 0: up to the end of the file (filled in by identification)
    bool close_on_destroy = false;
    // The archive that holds the object, or null: messages then name the object "archive(name)".
    const char* container = nullptr;
};

// Called for every error reported on an object (and for a pending one when a handler is installed).
using OF_ERROR_HANDLER = void (*)(class OBJECT_FILE* object, OF_ERROR code, const char* message);

class OBJECT_FILE : public OF_STATE_MACHINE {
public:
    // Opens the object at the handle's current position. `size` 0 means the whole file and is
    // refused (with an error diagnostic, result null) when the handle is not at position 0.
    // Null, with no report, for a file of no known format. `container` names the archive that holds
    // the object, for messages.
    static OBJECT_FILE* open(PFILE* handle, uint32_t size, const char* name, OF_ERROR_HANDLER handler,
                             const char* container = nullptr);
    // Opens the file at `path` and reads it as one object that owns the file and closes it with itself:
    // null when the file cannot be opened or is of no known format.
    static OBJECT_FILE* open_path(const char* path, OF_ERROR_HANDLER handler = nullptr);
    // Creates the object that `info` describes, reading it when there is a handle; null for an
    // unknown format. Problems found while reading stay pending in the object's error status.
    static OBJECT_FILE* create(OF_FILE_INFO info, OF_ERROR_HANDLER handler);
    // Fills format, format version, endian, target, start offset and size from the first 24 bytes
    // at the handle's position; the handle is left where it was. A 32-bit object reaches no further
    // than 4 GiB: a larger file's size is taken as 0xFFFFFFFF.
    static void identify(OF_FILE_INFO& info);
    // How many bytes identification reads.
    static constexpr uint32_t IDENTIFICATION_BYTES = 24;

    ~OBJECT_FILE() override;

    // Records an error; a pending serious error (codes 1, 2, 3, 5, 7) keeps later reports out until
    // it is cleared, and warnings (4, 6, 8) give way to anything more serious.
    void report_error(OF_ERROR code, const char* format, ...) DIAG_PRINTF(3, 4);
    OF_ERROR error_code() const { return error_code_; }
    const char* error_message() const { return error_message_; }
    // Forgets the pending error: code 0, message "".
    void clear_error();
    void set_error_handler(OF_ERROR_HANDLER handler) { error_handler_ = handler; }
    // Whether the object is of `format`; otherwise code 3 with `message` is reported (on a const object
    // too: the error status is not part of what it describes). The format views (as_elf_file,
    // as_qxcoff_symbol ...) ask this before they convert.
    bool require_format(OF_FORMAT format, const char* message) const;
    OF_ERROR_HANDLER error_handler() const { return error_handler_; }

    // Attaches `map` to `length` bytes of the input at start offset + `offset` (read on first use).
    // Requires at most "open" and an input handle.
    void get_file_data(DATA_MAP& map, uint32_t offset, uint32_t length);

    // ---- Writing ----
    // Writes all of `map`'s bytes to the output handle at start offset + `offset`: 0, or -1 after code 7
    // "illegal call to OBJECT_FILE::put_file_data() when a valid output file pointer is not present" (no
    // handle) or code 2 (a failed seek or write).
    [[nodiscard]] int put_file_data(DATA_MAP& map, uint32_t offset);
    // Lays the object out ("formatted") and writes it to the output `info` describes: its handle, name, start
    // offset and close flag become the object's (the old handle is closed first when the object owned it); when
    // info.size is not 0, that many zero bytes are written at the start first. The object is then "saved".
    // Refused (code 2, -1) when the output is the file the object was read from: the object's bytes still come
    // from there (save_to_path replaces such a file safely). 0 or -1.
    [[nodiscard]] int save(const OF_FILE_INFO& info);
    // Saves to the file `path`, created or replaced as a whole: the object is written to a temporary file beside
    // it, which is then renamed onto it, so the input the object was read from may be the file replaced. A path
    // that is not a regular file (a device, a link) is written in place, unless it is the input. Afterwards the
    // object's handle is the new file, opened for reading and owned by the object. 0, or -1 after code 2.
    [[nodiscard]] int save_to_path(const char* path);
    // Whether the object has been written.
    bool saved() const { return saved_; }
    // Whether `handle` is the object's input or names the same file: writing there would change the bytes the
    // object still reads.
    bool is_own_input(PFILE* handle) const;

    const OF_FILE_INFO& info() const { return info_; }
    const char* name() const { return info_.name; }
    // The object as messages name it: its name, or "archive(name)" for an archive member.
    const char* display_name() const { return display_name_.c_str(); }
    OF_FORMAT format() const { return info_.format; }
    uint64_t start_offset() const { return info_.start_offset; }
    uint32_t size() const { return info_.size; }
    uint32_t serial_number() const { return serial_; }
    OF_MACHINE_DB* machine_db() const { return machine_db_.get(); }
    // The byte order of the machine the library runs on.
    static OF_ENDIAN host_endian();

    virtual uint32_t format_version() const { return info_.format_version; }
    virtual OF_FILE_TYPE file_type() const = 0;
    // Requires at most "locked". The format's rules: ELF stores 1 to 4 and, for any other value, 0 after
    // code 5 "invalid file type"; QXCOFF takes a relocatable or an executable only.
    virtual void set_file_type(OF_FILE_TYPE type) = 0;
    virtual uint32_t time_stamp() const { return 0; }
    virtual OF_TARGET target() const { return info_.target; }
    // The name of the target's machine; "unknown machine" for a target without one.
    virtual const char* machine_name() const;
    virtual bool has_entry_point() const { return entry_point() != 0; }
    virtual uint32_t entry_point() const = 0;
    // Requires at most "locked".
    virtual void set_entry_point(uint32_t address) = 0;
    virtual OF_ENDIAN endian() const { return info_.endian; }
    virtual OF_ENDIAN machine_endian() const { return endian(); }
    // Requires at most "locked": little or big is stored; any other value stores 0 (no byte order) after
    // code 5 "invalid endian setting".
    virtual void set_endian(OF_ENDIAN endian) = 0;
    virtual bool has_dynamic_segment() { return false; }
    // The section table, created on first use.
    virtual OF_SECTION_TABLE* section_table() = 0;
    // The symbol table; null when the format has none to offer.
    virtual OF_SYMBOL_TABLE* symbol_table() = 0;
    // How many of the object's bytes the input really holds (its size, or less for a cut file).
    uint32_t bytes_present();
    // How many entries spaced `entry_size` bytes apart from `offset` on, each `record_size` bytes long,
    // the object's bytes hold: what a table may list whatever count it claims.
    uint32_t entries_present(uint64_t offset, uint32_t entry_size, uint32_t record_size);
    // How many of the `claimed` entries of the table `what` at `offset` (spaced `entry_size` bytes apart,
    // each `record_size` bytes long) a reader may use. Fewer bytes than the claim (reported as corruption
    // naming the object, the table and the numbers) cut the count to what is there; entries shorter than a
    // record (they would overlap) are reported too, and then none is used.
    uint32_t entries_held(const char* what, uint64_t offset, uint32_t claimed, uint32_t entry_size,
                          uint32_t record_size);
    // Reads the object described by `info`; -1 on failure (the error status says why).
    virtual int read(const OF_FILE_INFO& info) = 0;

    // ---- Build attributes (the tables: ofe/of_build_attr.h) ----
    // Whether the target's database supports build attributes; without it every query below answers none.
    bool build_attributes_supported() const;
    // The table of the file's attributes section, made and parsed on first use; null when there is none
    // (the format's own: ELF_FILE and QXCOFF_FILE).
    virtual OF_BUILD_ATTR_TABLE* build_attribute_table() = 0;
    bool has_build_attributes() { return build_attribute_table() != nullptr; }
    // The subsection of vendor "QX", and that of the target's ABI vendor; null when absent.
    OFBA_VENDOR_SCN* qx_vendor_section();
    OFBA_VENDOR_SCN* abi_vendor_section();
    // The file-scope attribute of a vendor's first subsection with that name; null when absent.
    OFBA_ATTR* find_build_attribute(const char* vendor, uint32_t tag);
    // As find_build_attribute, making the subsection, a file-scope list and the attribute when absent
    // (which requires "open"); null when the file has no build attributes.
    OFBA_ATTR* get_or_add_build_attribute(const char* vendor, uint32_t tag);
    // The vendor: "QX" when its subsection is present, else the first subsection's vendor; "" when none.
    virtual std::string vendor_name();
    // The producer name: "QX" tag 5; "" when none.
    virtual std::string producer_name();
    // The producer version from "QX" tags 8, 10 and 12, each stored plus 1; there is one when tag 8 holds
    // a value other than 0.
    virtual bool has_producer_version();
    virtual uint32_t producer_major();
    virtual uint32_t producer_minor();
    virtual uint32_t producer_patch();
    // "major.minor.patch", or "" without a producer version.
    virtual std::string producer_version();
    // Records the producer in the "QX" build attributes: its name (tag 5) and version (tags 8, 10 and 12,
    // each stored plus 1). Requires "open"; nothing happens in a file that cannot carry build attributes.
    virtual void set_producer(const char* name, uint32_t major, uint32_t minor, uint32_t patch);

    // ---- The "Object File Information" dump and the XML description ----
    // The categories in the order the dump prints them: "header", "optheader", "sections", "rawdata",
    // "relocs", "lnnos", "symbols", "strings", "symhash", "dynamic", "symver", "groups", "battrs",
    // "segments".
    static std::span<const OF_DUMP_CATEGORY> dump_categories();
    // Whether a category is selected; every one but "rawdata" is until changed.
    bool dump_category_selected(const char* name);
    // Selects or drops a category; false for a name that is not a category.
    bool select_dump_category(const char* name, bool on);
    // The segment table prints one block per segment instead of one compact table.
    bool detailed_dump() const { return detailed_dump_; }
    void set_detailed_dump(bool on) { detailed_dump_ = on; }
    // Prints the selected categories of the dump to `out`.
    void dump(FILE* out);
    // Dumps to a file opened for writing; -1, with code 2 and an empty message, when it cannot be opened.
    int dump_to_path(const char* path);
    // Fills the header table: the format's rows, then the rows every file has.
    virtual void dump_header_rows(OF_TEXT_TABLE& rows);
    // Writes the XML description of the file.
    virtual void write_xml(OF_XML_WRITER& xml) = 0;
    void write_xml_to_handle(FILE* out);
    // -1, with code 2 and an empty message, when the path cannot be opened.
    int write_xml_to_path(const char* path);

protected:
    explicit OBJECT_FILE(const OF_FILE_INFO& info);
    // The rows of the header table that come before the common ones.
    virtual void add_format_header_rows(OF_TEXT_TABLE&) {}
    // Dumps everything after the header table, by the selected categories.
    virtual void dump_contents(FILE* out);
    // The table that changes go to: the attributes table, made where the format can make one. Here the
    // existing table.
    virtual OF_BUILD_ATTR_TABLE* build_attribute_table_for_change() { return build_attribute_table(); }
    // The common XML elements of every format: the file's identity and its build attributes.
    void write_common_xml(OF_XML_WRITER& xml);
    // Replaces the copy of the file info (reading does so first); the name is copied.
    void set_info(const OF_FILE_INFO& info);
    OF_FILE_INFO& mutable_info() { return info_; }
    // The writing states: "locked" checks that every section read from the input holds the bytes it claims
    // (a damaged file is not saved), then locks; "formatted" lays out; "saved" writes.
    int32_t on_progress(int32_t new_state) final;
    // The steps of the writing states, in the format's terms.
    virtual int32_t lock_for_writing() = 0;
    virtual int32_t lay_out() = 0;
    virtual int32_t write_out() = 0;

private:
    OF_FILE_INFO info_;
    std::string name_copy_;
    std::string container_copy_;
    std::string display_name_;
    OF_ERROR error_code_ = OF_ERR_NONE;
    const char* error_message_ = "";
    OF_ERROR_HANDLER error_handler_ = nullptr;
    std::unique_ptr<OF_MACHINE_DB> machine_db_;
    uint32_t serial_ = 0;
    int64_t bytes_present_ = -1;
    bool saved_ = false;
    // True when every section read from the input holds all the raw data it claims; reports the first that does not.
    bool holds_claimed_raw_data();
    std::vector<uint8_t> dump_selection_;  // one flag per category; empty until the first dump
    bool detailed_dump_ = false;
};

}  // namespace OFE
