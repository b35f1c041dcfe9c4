// QXCOFF sections: the section header table of the three versions, sections made from their headers on
// first access, and their meaning for the format-neutral model.
#pragma once

#include <cstdint>
#include <memory>

#include "ofe/of_section.h"

namespace OFE {

class QXCOFF_FILE;
class QXCOFF_BUILD_ATTR_TABLE;
class QXCOFF_LNNO_TABLE;
class QXCOFF_RELOC_TABLE;

// One section header, field for field, in host byte order (16-bit fields of versions "0" and "1" widened).
struct QXCOFF_SECTION_HEADER {
    uint8_t s_name[8] = {};  // as stored: inline name, or (version "2") a zero word and the string offset
    uint32_t s_stroff = 0;   // version "2" with a zero first name word: the name's string-table offset
    uint32_t s_paddr = 0;
    uint32_t s_vaddr = 0;
    uint32_t s_size = 0;     // address units
    uint32_t s_scnptr = 0;
    uint32_t s_relptr = 0;
    uint32_t s_lnnoptr = 0;
    uint32_t s_nreloc = 0;
    uint32_t s_nlnno = 0;
    uint32_t s_flags = 0;
    uint8_t s_mwidth = 0;    // version "2" only; 0: the target's width
    uint16_t s_page = 0;
};

class QXCOFF_SECTION : public OF_SECTION {
public:
    QXCOFF_SECTION(OF_SECTION_TABLE* table, uint32_t index);
    ~QXCOFF_SECTION() override;

    QXCOFF_SECTION_HEADER& header() { return header_; }
    const QXCOFF_SECTION_HEADER& header() const { return header_; }
    QXCOFF_FILE* qxcoff_file() const;

    // Versions "0" and "1" keep only the first 8 characters of a longer name (reported, code 6).
    void set_name(const char* name) override;
    uint32_t load_address() override { return header_.s_vaddr; }
    void set_load_address(uint32_t address) override;
    uint32_t run_address() const override { return header_.s_paddr; }
    void set_run_address(uint32_t address) override;
    int32_t page() const override { return header_.s_page; }
    // Versions "0" and "1" keep the low byte of a page from 256 on (reported, code 6).
    void set_page(uint32_t page);
    // False for STYP_BSS, STYP_NOLOAD and STYP_DSECT, and for a section read from input whose flags and
    // s_scnptr are both 0 (also once the file has been saved).
    bool has_raw_data() const override;
    // 1 << the logarithm in flag bits 8-11.
    uint32_t alignment() const override;
    // A power of two (0 and 1 store logarithm 0; above 32768 stores the largest); anything else is refused.
    void set_alignment(uint32_t alignment) override;
    static uint32_t largest_alignment() { return 32768; }
    bool uses_blocking() const;
    void set_blocking(bool on);
    // False for STYP_COPY; otherwise true unless STYP_DSECT.
    bool allocated() const override;
    // True clears STYP_DSECT, STYP_NOLOAD and STYP_COPY; false sets STYP_COPY.
    void set_allocated(bool on) override;
    // Allocated and not STYP_NOLOAD.
    bool loaded() const;
    bool is_code() const override;
    bool is_data() const override;
    bool is_bss() const override;
    // Replace the low 8 flag bits by STYP_TEXT, STYP_DATA or STYP_BSS.
    void make_code() override;
    void make_data() override;
    void make_bss() override;
    // Version "2" and STYP_IS_GROUP.
    bool is_group() const override;
    // s_mwidth in version "2" when it is not 0; otherwise the target's width.
    uint32_t address_unit_bits() const override;
    // Version "2" only; the others refuse it (code 5).
    void set_memory_width(uint32_t bits) override;
    // In address units: from the raw data's length when the section has initialised raw data, else s_size.
    uint32_t size() const override;
    void set_size(uint32_t units) override;
    uint32_t raw_data_offset() const override { return header_.s_scnptr; }
    // Sections are numbered from 1.
    uint32_t section_id() const override { return index() + 1; }
    uint32_t flags() const { return header_.s_flags; }
    // Replaces every flag bit but the alignment bits 8-11; versions "0" and "1" keep 16 bits (reported).
    void set_flags(uint32_t flags);
    // Whether the section's data are in the other byte order than the host's.
    bool data_swapped() const { return data_swapped_; }
    // The relocation entries and line-number entries, mapped when the header is read.
    DATA_MAP& reloc_data() { return relocs_; }
    DATA_MAP& lnno_data() { return lnnos_; }
    // The section's relocation table (made on first use); counted only when it holds entries.
    QXCOFF_RELOC_TABLE* reloc_table();
    OF_RELOC_TABLE* reloc_table_for_change() override;
    uint32_t reloc_table_count() override;
    OF_RELOC_TABLE* reloc_table_at(uint32_t index) override;
    // The section's line-number table, made on first use.
    QXCOFF_LNNO_TABLE* lnno_table();
    void add_dump_rows(OF_TEXT_TABLE& rows) override;
    // Entering "locked": s_size from the data (padded to whole address units), the name stored inline or in
    // the string table, the relocation and line-number counts set (versions "0" and "1" keep the low 16 bits
    // of 65536 and more, reported, code 6) and both tables written anew; a group's signature is checked.
    int32_t on_progress(int32_t new_state) override;
    // Writes the header at `at` of `data` in the version's layout.
    void encode_header(DATA_MAP& data, uint64_t at) const;
    // Whether this is the build-attributes section, named "$build.attributes".
    bool is_build_attribute_section() const;
    // Its build-attribute table, made and parsed on first request; null for any other section.
    QXCOFF_BUILD_ATTR_TABLE* build_attribute_table();

private:
    friend class QXCOFF_SECTION_TABLE;
    // The file's check for header changes; false when the change must not happen.
    bool may_change() const;

    QXCOFF_SECTION_HEADER header_;
    DATA_MAP relocs_;
    DATA_MAP lnnos_;
    std::unique_ptr<QXCOFF_BUILD_ATTR_TABLE> build_attribute_table_;
    std::unique_ptr<QXCOFF_RELOC_TABLE> reloc_table_;
    std::unique_ptr<QXCOFF_LNNO_TABLE> lnno_table_;
    bool data_swapped_ = false;
    bool from_input_ = false;  // made from a header of the input, not added
};

class QXCOFF_SECTION_TABLE : public OF_SECTION_TABLE {
public:
    explicit QXCOFF_SECTION_TABLE(QXCOFF_FILE* file);
    ~QXCOFF_SECTION_TABLE() override;

    // Takes note of `count` headers at object offset `offset`; no section is made yet. A count larger
    // than the object's bytes can hold is reported (code 3) and cut to what is there.
    [[nodiscard]] int read_headers(uint32_t offset, uint32_t count);
    QXCOFF_SECTION* qxcoff_section_at(uint32_t index) { return static_cast<QXCOFF_SECTION*>(section_at(index)); }
    // Decodes header `index` (below the count) without making its section; s_scnptr is 0 when s_size is.
    void decode_header(uint32_t index, QXCOFF_SECTION_HEADER& h);
    // The address-unit width a header gives its section.
    uint32_t unit_bits(const QXCOFF_SECTION_HEADER& h) const;
    // 40, 40 or 48 by version; 0 with code 3 "Invalid QX-COFF version" for any other version.
    uint32_t header_size();
    // Where the headers start: file header size + f_opthdr.
    uint32_t table_offset() const { return offset_; }
    // Refused (code 5) from 65533 sections on.
    OF_SECTION* add_section(const char* name) override;
    QXCOFF_FILE* qxcoff_file() const;
    // Makes every section and reads all it holds (raw data, relocations, line numbers) into memory, so that
    // nothing is read from the input afterwards.
    void prepare_for_writing();
    // Each section follows the table into and out of the writing states.
    int32_t on_progress(int32_t new_state) override;
    int32_t on_revert(int32_t target_state) override;
    void set_table_offset(uint32_t offset) { offset_ = offset; }

protected:
    std::unique_ptr<OF_SECTION> make_section(uint32_t index) override;
    void materialise_section(uint32_t index) override;
    // The symbols' section numbers follow their sections.
    void renumber_references(const std::vector<uint32_t>& map) override;

private:
    DATA_MAP headers_;
    uint32_t offset_ = 0;
};

}  // namespace OFE
