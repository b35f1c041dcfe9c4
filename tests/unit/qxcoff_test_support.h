// Opening fixture-built QXCOFF objects in the unit tests of the QXCOFF backend.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fixture.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/object_file.h"
#include "unit_support.h"
#include "util/pfile.h"

namespace qxunit {

using namespace OFE;

// One object opened from a description's bytes; the object and its file go with it.
class opened {
public:
    explicit opened(const std::vector<unsigned char>& bytes) : size_(bytes.size()) {
        fixture::write_file(dir_.file("object.o"), bytes);
        handle_ = pfopen(dir_.file("object.o").c_str(), "rb");
        object_ = OFE::OBJECT_FILE::open(handle_, 0, "object.o", nullptr);
    }
    opened(std::string_view description, const fixture::options& opts = {})
        : opened(fixture::build(description, opts)) {}
    ~opened() {
        delete object_;
        pfclose(handle_);
    }
    opened(const opened&) = delete;
    opened& operator=(const opened&) = delete;

    OFE::OBJECT_FILE* object() const { return object_; }
    // The object as a QXCOFF file; fails the test when it is not one.
    OFE::QXCOFF_FILE& file() const {
        EXPECT_NE(object_, nullptr);
        EXPECT_EQ(object_->format(), OFE::OF_FORMAT_QXCOFF);
        return *static_cast<OFE::QXCOFF_FILE*>(object_);
    }
    size_t size() const { return size_; }
    // The pending error as "code: message" ("0: " when none), and then clears it.
    std::string take_error() const {
        std::string text = std::to_string(object_->error_code()) + ": " + object_->error_message();
        object_->clear_error();
        return text;
    }

private:
    unit::temp_dir dir_;
    PFILE* handle_ = nullptr;
    OFE::OBJECT_FILE* object_ = nullptr;
    size_t size_;
};

// The fixture options of one version ("0", "1", "2" as 0, 1, 2) and byte order.
inline fixture::options variant(int version, bool big) {
    fixture::options o;
    o.coff_version = version;
    o.order = big ? fixture::byte_order::big : fixture::byte_order::little;
    return o;
}

// A readable label of a variant for SCOPED_TRACE.
inline std::string variant_name(int version, bool big) {
    return "version " + std::to_string(version) + (big ? " big endian" : " little endian");
}

}  // namespace qxunit
