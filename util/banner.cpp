// The banner texts, built once on first use.
#include "util/banner.h"

#include <cstdlib>
#include <string>

#include "util/xalloc.h"

// The release version comes from the build's project version, so that the banner, the manual page and the
// packages always show the same number.
#ifndef NMKITE_VERSION
#error "NMKITE_VERSION must be defined by the build"
#endif
#ifndef NMKITE_BUILD_STAMP
#define NMKITE_BUILD_STAMP "00000000-0000"
#endif
#ifndef NMKITE_BRANCH_WORD
#define NMKITE_BRANCH_WORD "nobranch"
#endif

namespace OFE {

namespace {

constexpr const char* family_name = "Kite";
const char* tool_title = "Name Utility";
constexpr const char* release_suffix = ".STS";

struct TEXTS {
    char* version = nullptr;
    char* release = nullptr;
    TEXTS() {
        xasprintf(&version, "%s", NMKITE_VERSION);
        char* v = nullptr;
        xasprintf(&v, "v%s", version);
        xasprintf(&release, "%s%s", v, release_suffix);
        std::free(v);
    }
};

const TEXTS& texts() {
    static const TEXTS t;
    return t;
}

std::string compiler_word() {
#if defined(__clang__)
    return "clang" + std::to_string(__clang_major__) + "-" + std::to_string(__clang_minor__);
#elif defined(__GNUC__)
    return "gcc" + std::to_string(__GNUC__) + "-" + std::to_string(__GNUC_MINOR__);
#elif defined(_MSC_VER)
    return "msvc" + std::to_string(_MSC_VER);
#else
    return "cxx";
#endif
}

}  // namespace

const char* banner_version() { return texts().version; }

void set_banner_title(const char* title) { tool_title = title; }

const char* banner_title() { return tool_title; }

// The product text is made at each call, so that a title set after the first banner shows too.
void print_banner(FILE* stream) {
    char* product = nullptr;
    xasprintf(&product, "%s %s", family_name, tool_title);
    std::fprintf(stream, "%-*.*s%s\n", 40, 40, product, texts().release);
    std::free(product);
}

const char* build_identifier() {
    static const std::string id = compiler_word() + "-" + NMKITE_BUILD_STAMP + "-" + NMKITE_BRANCH_WORD;
    return id.c_str();
}

void print_build_number(FILE* stream) {
    print_banner(stream);
    std::fprintf(stream, "Build Number %s\n", build_identifier());
}

}  // namespace OFE
