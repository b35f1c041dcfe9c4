// The names printed for formats, versions, file types, byte orders, errors and targets.
#include "ofe/of_types.h"

#include <cstring>
#include <iterator>

#include "util/byte_order.h"

namespace OFE {

namespace {

template <class T, size_t N>
const char* pick(const T (&names)[N], uint32_t index, const char* fallback) {
    return index < N && names[index] ? names[index] : fallback;
}

}  // namespace

const char* format_name(uint32_t format) {
    static const char* const names[] = {nullptr, "QX-COFF", "ELF"};
    return pick(names, format, "UNKNOWN");
}

const char* format_version_name(uint32_t version) {
    static const char* const names[] = {nullptr, "0", "1", "2", "1"};
    return pick(names, version, "unknown format version");
}

const char* file_type_name(uint32_t type) {
    static const char* const names[] = {nullptr, "relocatable file", "executable file", "shared object file",
                                        "core file"};
    return pick(names, type, "unknown file type");
}

const char* endian_name(uint32_t endian) { return endianness_name(static_cast<int>(endian)); }

const char* error_text(uint32_t code) {
    static const char* const names[] = {"no error",          "invalid object file format", "file access error",
                                        "corrupted object file", "warning",                "illegal operation",
                                        "value truncated",   "internal error",             "development issue"};
    return pick(names, code, "unknown error");
}

const char* vendor_description(const char* code) {
    struct VENDOR {
        const char* code;
        const char* description;
    };
    static const VENDOR vendors[] = {
        {"aeabi", "ABI for the ARM Architecture"},
        {"ARM", "ARM Ltd."},
        {"cxa", "C++ ABI"},
        {"GHS", "Green Hills Systems"},
        {"gnu", "GNU Compilers and Tools (Free Software Foundation)"},
        {"iar", "IAR Systems"},
        {"intel", "Intel Corporation"},
        {"ixs", "Intel XScale"},
        {"PSI", "PalmSource, Inc."},
        {"QX", "Norvane, Inc."},
        {"WRS", "Wind River Systems"},
        {"kiteabi", "ABI for the Norvane Kite Architecture"},
        {"gullabi", "ABI for the Norvane Gull Architecture"},
        {"wrenabi", "ABI for the Norvane Wren Architecture"},
        {"skuaabi", "ABI for the Norvane Skua Architecture"},
        {"anon", "unregistered vendor"},
        {"Anon", "unregistered vendor"},
    };
    if (!code) return nullptr;
    for (const VENDOR& v : vendors)
        if (std::strcmp(v.code, code) == 0) return v.description;
    return nullptr;
}

const char* target_machine_name(OF_TARGET target) {
    static const char* const names[] = {nullptr,     "Advanced RISC Machines ARM", "Wren",    "QX Kite",
                                        "QX Rook",   "QX Loon",                    "QX Gull", "QX Loon+",
                                        "Vole Target", "QX Knot",                  "QX Rill", "QX Skua"};
    return pick(names, target, nullptr);
}

}  // namespace OFE
