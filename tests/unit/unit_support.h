// Helpers shared by the unit tests: the library's reports recorded, shell commands run, a private temporary
// directory, a capture of diagnostics, dumps, hex text, build-attribute bytes written without the library's
// writer, and objects opened.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DIAG/diag.h"
#include "DIAG/user_msg_api.h"
#include "fixture.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/elf/elf_file.h"
#include "ofe/elf/elf_section.h"
#include "ofe/object_file.h"
#include "util/data_map.h"
#include "util/pfile.h"

namespace unit {

using namespace OFE;
using namespace DIAG;

// Every report the library makes to `record` while a test runs, as "code: message", in order; each is cleared
// once recorded.
inline std::vector<std::string> reports;
inline void record(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    reports.push_back(std::to_string(code) + ": " + message);
    object->clear_error();
}
// The reports so far, which are then forgotten.
inline std::vector<std::string> taken() { return std::exchange(reports, {}); }

// The output (standard error after standard output) and exit status of a shell command; -1 when it did not run.
struct shell_run {
    std::string out;
    int status = -1;
};
inline shell_run shell(const std::string& command) {
    shell_run r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.out.append(buffer, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Everything written to a temporary stream so far.
inline std::string read_all(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

// What `table->dump(FILE*)` prints.
template <class T>
std::string dump_of(T* table) {
    FILE* out = std::tmpfile();
    table->dump(out);
    std::string text = read_all(out);
    std::fclose(out);
    return text;
}

// Bytes as lower-case hex digits, two to a byte.
inline std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

// The bytes a data map holds, in hex.
inline std::string hex(DATA_MAP& data) {
    const auto bytes = data.view();
    return hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Build-attribute sections in their encoding: ULEB128 tags and values, lists and vendor subsections.
struct attr_encoder {
    bool big = false;
    std::string u32(uint32_t v) const {
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[big ? 3 - i : i] = static_cast<char>(v >> (8 * i));
        return b;
    }
    static std::string uleb(uint32_t v) {
        std::string b;
        do {
            b += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
            v >>= 7;
        } while (v != 0);
        return b;
    }
    static std::string num(uint32_t tag, uint32_t value) { return uleb(tag) + uleb(value); }
    static std::string str(uint32_t tag, const std::string& text) { return uleb(tag) + text + '\0'; }
    std::string list(uint32_t tag, const std::string& body) const {
        const std::string t = uleb(tag);
        return t + u32(static_cast<uint32_t>(t.size() + 4 + body.size())) + body;
    }
    std::string vendor(const std::string& name, const std::string& lists) const {
        return u32(static_cast<uint32_t>(4 + name.size() + 1 + lists.size())) + name + '\0' + lists;
    }
};

// A directory of its own for one test, removed with its contents at the end.
struct temp_dir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("nmkite-unit-" + std::to_string(::getpid()) + "-" + std::to_string(serial()++));
    temp_dir() { std::filesystem::create_directories(path); }
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    static unsigned& serial() {
        static unsigned n = 0;
        return n;
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// Sends every diagnostic to a temporary stream while it lives; then puts the settings, the kinds'
// severities and flags, warnings-as-errors and the error count back.
class diag_capture {
public:
    diag_capture() : saved_(DIAG::settings()), out_(std::tmpfile()) {
        for (const DIAG::DIAG_MSG_KIND* k = DIAG::msg_kinds; k->code != 0; ++k) kinds_.push_back(*k);
        DIAG::settings().output_stream = out_;
        diag_reset_error_count();
    }
    ~diag_capture() {
        DIAG::settings() = saved_;
        for (size_t i = 0; i < kinds_.size(); ++i) DIAG::msg_kinds[i] = kinds_[i];
        user_msg_context()->warnings_as_errors = false;
        diag_reset_error_count();
        std::fclose(out_);
    }
    diag_capture(const diag_capture&) = delete;
    diag_capture& operator=(const diag_capture&) = delete;

    // Everything printed since the last call.
    std::string take() {
        std::string text = read_all(out_);
        std::fclose(out_);
        DIAG::settings().output_stream = out_ = std::tmpfile();
        return text;
    }
    // As take(), with each raise site "DIAG/user_msg_api.cpp:<line>:" shown as "SITE:".
    std::string take_sites() {
        const std::string site = "DIAG/user_msg_api.cpp:";
        std::string text = take();
        for (size_t at = 0; (at = text.find(site, at)) != std::string::npos; ++at) {
            size_t end = at + site.size();
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
            if (end > at + site.size() && end < text.size() && text[end] == ':')
                text.replace(at, end + 1 - at, "SITE:");
        }
        return text;
    }

private:
    DIAG::SETTINGS saved_;
    FILE* out_;
    std::vector<DIAG::DIAG_MSG_KIND> kinds_;
};

// One object opened from a description's bytes or from an existing file; the object and its file go with
// it. With `record`, every report goes to `reports` as it is made; without, the object keeps it pending.
class opened {
public:
    explicit opened(std::string_view description, const fixture::options& opts = {}, bool record = false,
                    const char* name = "object.o")
        : size_(fixture::build_to(dir_.file(name), description, opts).size()) {
        open(dir_.file(name), name, record);
    }
    struct existing {
        std::filesystem::path path;
    };
    explicit opened(const existing& file, bool record = true) { open(file.path.string(), "test.o", record); }
    ~opened() {
        delete object_;
        if (handle_) pfclose(handle_);
    }
    opened(const opened&) = delete;
    opened& operator=(const opened&) = delete;

    OBJECT_FILE* object() const { return object_; }
    // The object as a QXCOFF file; fails the test when it is not one.
    QXCOFF_FILE& file() const {
        EXPECT_EQ(object_->format(), OF_FORMAT_QXCOFF);
        return *as_qxcoff_file(object_);
    }
    // The object as an ELF file (null when it is not one), and its section of a name, which must be there.
    ELF_FILE* get() const { return as_elf_file(object_); }
    ELF_FILE* operator->() const { return get(); }
    ELF_SECTION* section(const char* name) const {
        auto* s = as_elf_section(get()->section_table()->find_by_name(name));
        if (!s) throw std::runtime_error(std::string("no section ") + name);
        return s;
    }
    size_t size() const { return size_; }
    // The pending error as "code: message" ("0: " when none), and then clears it.
    std::string take_error() const {
        std::string text = std::to_string(object_->error_code()) + ": " + object_->error_message();
        object_->clear_error();
        return text;
    }

private:
    void open(const std::string& path, const char* name, bool record) {
        reports.clear();
        handle_ = pfopen(path.c_str(), "rb");
        if (!handle_) throw std::runtime_error("cannot open " + path);
        object_ = OBJECT_FILE::open(handle_, 0, name, record ? unit::record : nullptr);
    }

    temp_dir dir_;
    size_t size_ = 0;
    PFILE* handle_ = nullptr;
    OBJECT_FILE* object_ = nullptr;
};

// The fixture options of one QXCOFF version (0, 1 or 2) and byte order.
inline fixture::options variant(int version, bool big) {
    fixture::options o;
    o.coff_version = version;
    o.order = big ? fixture::byte_order::big : fixture::byte_order::little;
    return o;
}

}  // namespace unit
