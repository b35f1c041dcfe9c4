// Helpers of the unit tests of the writing side: objects made from nothing, saved to a temporary file and read
// back, with every report recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
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

// An object read from a file; the object goes before its handle.
class reread {
public:
    explicit reread(const std::string& path, const char* name = "saved.o") {
        handle_ = pfopen(path.c_str(), "rb");
        object_.reset(OBJECT_FILE::open(handle_, 0, name, record));
    }
    ~reread() {
        object_.reset();
        if (handle_) pfclose(handle_);
    }
    reread(const reread&) = delete;
    reread& operator=(const reread&) = delete;
    OBJECT_FILE* get() const { return object_.get(); }
    OBJECT_FILE* operator->() const { return object_.get(); }

private:
    PFILE* handle_ = nullptr;
    std::unique_ptr<OBJECT_FILE> object_;
};

// Saves `object` to `path` through save(): the result of save. The object keeps the handle, which is
// closed when the test's directory goes... so it is closed here, after the object has let go of it.
inline int save_to(OBJECT_FILE* object, const std::string& path) {
    PFILE* out = pfopen(path.c_str(), "wb");
    if (!out) return -2;
    OF_FILE_INFO info;
    info.handle = out;
    info.name = "saved.o";
    info.close_on_destroy = true;  // the object closes it
    return object->save(info);
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
