// Helpers of the unit tests of the writing side: objects made from nothing, saved to a temporary file and read
// back, with every report recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ofe/object_file.h"
#include "ofe/of_types.h"
#include "unit_support.h"
#include "util/pfile.h"

namespace write_test {

using namespace OFE;

using unit::record;
using unit::reports;
using unit::taken;
using REPORTS = std::vector<std::string>;

// An object made from nothing by OBJECT_FILE::create.
inline std::unique_ptr<OBJECT_FILE> created(OF_FORMAT format, uint32_t version, OF_TARGET target,
                                            OF_ENDIAN endian = OF_ENDIAN_LITTLE) {
    reports.clear();
    OF_FILE_INFO info;
    info.format = format;
    info.format_version = version;
    info.target = target;
    info.endian = endian;
    info.name = "made.o";
    return std::unique_ptr<OBJECT_FILE>(OBJECT_FILE::create(info, record));
}

// Saves `object` to `path` through save(): the result of save. The object closes the handle.
inline int save_to(OBJECT_FILE* object, const std::string& path) {
    PFILE* out = pfopen(path.c_str(), "wb");
    if (!out) return -2;
    OF_FILE_INFO info;
    info.handle = out;
    info.name = "saved.o";
    info.close_on_destroy = true;
    return object->save(info);
}

// An object read from a file (which must succeed), every report recorded; the object goes before its handle.
// Made from an object, it first saves that object to path() in a directory of its own: the save must succeed,
// and the reports of saving and reading are those `expected`.
class reread {
public:
    explicit reread(const std::string& path, const char* name = "saved.o") : path_(path) { open(name); }
    explicit reread(OBJECT_FILE* object, const REPORTS& expected = {}) : path_(dir_.file("saved.o")) {
        if (save_to(object, path_) != 0) throw std::runtime_error("cannot save " + path_);
        open("saved.o");
        EXPECT_EQ(taken(), expected);
    }
    ~reread() {
        object_.reset();
        if (handle_) pfclose(handle_);
    }
    reread(const reread&) = delete;
    reread& operator=(const reread&) = delete;
    OBJECT_FILE* get() const { return object_.get(); }
    OBJECT_FILE* operator->() const { return object_.get(); }
    const std::string& path() const { return path_; }
    // The bytes of the file, in hex.
    std::string hex() const { return unit::hex(unit::temp_dir::read(path_)); }

private:
    void open(const char* name) {
        handle_ = pfopen(path_.c_str(), "rb");
        object_.reset(OBJECT_FILE::open(handle_, 0, name, record));
        if (!object_) throw std::runtime_error("cannot read " + path_);
    }
    unit::temp_dir dir_;
    std::string path_;
    PFILE* handle_ = nullptr;
    std::unique_ptr<OBJECT_FILE> object_;
};

// The bytes the fixture builder writes from `description`, in hex.
inline std::string built_hex(std::string_view description, const fixture::options& opts = {}) {
    const std::vector<unsigned char> bytes = fixture::build(description, opts);
    return unit::hex(std::string(bytes.begin(), bytes.end()));
}

// What `object->dump(FILE*)` prints with every category but the file header (whose name and length differ).
inline std::string contents_dump(OBJECT_FILE* object) {
    for (const OF_DUMP_CATEGORY& c : OBJECT_FILE::dump_categories()) (void)object->select_dump_category(c.name, true);
    (void)object->select_dump_category("header", false);
    return unit::dump_of(object);
}

// readelf's complaints about a file: its lines that warn or report an error, and a failing status; none when
// readelf is not installed.
inline std::vector<std::string> readelf_complaints(const std::string& path) {
    if (unit::shell("command -v readelf").status != 0) return {};
    const unit::shell_run r = unit::shell("readelf -a -W '" + path + "'");
    std::vector<std::string> complaints;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("arning") != std::string::npos || line.find("rror") != std::string::npos) complaints.push_back(line);
    if (r.status != 0) complaints.push_back("status " + std::to_string(r.status));
    return complaints;
}

}  // namespace write_test
