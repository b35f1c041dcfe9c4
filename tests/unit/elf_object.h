// An ELF object for the library's unit tests: written from a fixture description (or an existing
// file), opened through OBJECT_FILE::open as "test.o", with every report it makes recorded.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixture.h"
#include "ofe/elf/elf_dynamic.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"
#include "ofe/of_symbol.h"
#include "unit_support.h"
#include "util/pfile.h"

namespace elf_test {

using namespace OFE;

using unit::reports;
using unit::taken;

// A missing section or symbol fails the test by an exception rather than a crash.
template <class T>
T* found(T* p, const char* what) {
    if (!p) throw std::runtime_error(std::string("not found: ") + what);
    return p;
}

class elf_object {
public:
    explicit elf_object(std::string_view description, fixture::options opts = {}, bool with_handler = true)
        : path_(dir_.file("test.o")), bytes_(fixture::build_to(path_, description, opts)) {
        open(with_handler);
    }
    struct existing {
        std::filesystem::path path;
    };
    explicit elf_object(const existing& file) : path_(file.path.string()) { open(true); }
    elf_object(const elf_object&) = delete;
    elf_object& operator=(const elf_object&) = delete;
    ~elf_object() {
        object_.reset();
        if (handle_) pfclose(handle_);
    }

    OFE::ELF_FILE* operator->() const { return get(); }
    OFE::ELF_FILE* get() const { return static_cast<OFE::ELF_FILE*>(object_.get()); }
    bool opened() const { return object_ != nullptr && object_->format() == OFE::OF_FORMAT_ELF; }
    size_t file_size() const { return bytes_.size(); }
    OFE::ELF_SECTION* section(const char* name) const {
        return found(static_cast<OFE::ELF_SECTION*>(get()->section_table()->find_by_name(name)), name);
    }
    const OFE::OF_SYMBOL* symbol(const char* name) const {
        return found(get()->symbol_table()->find_by_name(name), name);
    }
    OFE::OF_SYMBOL* symbol_at(uint32_t index) const { return get()->symbol_table()->symbol_at(index); }
    // The table of the ".dynamic" section, or null.
    OFE::ELF_DYNAMIC_TABLE* dynamic() const {
        auto* s = static_cast<OFE::ELF_SECTION*>(get()->section_table()->find_by_name(".dynamic"));
        return s ? s->dynamic_table() : nullptr;
    }
    // The dynamic symbol table through the dynamic database, as the dynamic listing reaches it.
    OFE::OF_SYMBOL_TABLE* dynamic_symbols() const {
        OFE::ELF_DYNAMIC_DB* db = get()->dynamic_db();
        return db ? db->dynamic_symbol_table() : nullptr;
    }

private:
    void open(bool with_handler) {
        reports.clear();
        handle_ = pfopen(path_.c_str(), "rb");
        if (!handle_) throw std::runtime_error("cannot open " + path_);
        object_.reset(OFE::OBJECT_FILE::open(handle_, 0, "test.o", with_handler ? unit::record : nullptr));
    }

    unit::temp_dir dir_;
    std::string path_;
    std::vector<unsigned char> bytes_;
    PFILE* handle_ = nullptr;
    std::unique_ptr<OFE::OBJECT_FILE> object_;
};

}  // namespace elf_test
