// Helpers shared by the unit tests: a private temporary directory and a capture of diagnostics.
#pragma once

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DIAG/diag.h"
#include "DIAG/user_msg_api.h"

namespace unit {

// Everything written to a temporary stream so far.
inline std::string read_all(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

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

}  // namespace unit
