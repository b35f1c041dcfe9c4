// The value sets shared by the whole object-file library, and the names printed for them.
#pragma once

#include <cstdint>

namespace OFE {

enum OF_FORMAT : uint32_t { OF_FORMAT_UNKNOWN = 0, OF_FORMAT_QXCOFF = 1, OF_FORMAT_ELF = 2 };

enum OF_ENDIAN : uint32_t { OF_ENDIAN_UNKNOWN = 0, OF_ENDIAN_LITTLE = 1, OF_ENDIAN_BIG = 2 };

enum OF_ERROR : uint32_t {
    OF_ERR_NONE = 0,
    OF_ERR_INVALID_FORMAT = 1,
    OF_ERR_FILE_ACCESS = 2,
    OF_ERR_CORRUPTED = 3,
    OF_ERR_WARNING = 4,
    OF_ERR_ILLEGAL_OPERATION = 5,
    OF_ERR_VALUE_TRUNCATED = 6,
    OF_ERR_INTERNAL = 7,
    OF_ERR_DEVELOPMENT = 8,
};

// Kinds of file: 0 none, 1 relocatable, 2 executable, 3 shared object, 4 core.
enum OF_FILE_TYPE : uint32_t {
    OF_FILE_NONE = 0,
    OF_FILE_RELOCATABLE = 1,
    OF_FILE_EXECUTABLE = 2,
    OF_FILE_SHARED = 3,
    OF_FILE_CORE = 4,
};

// Target ids; an ELF machine without an id of its own is 0x10000 + e_machine.
using OF_TARGET = uint32_t;
inline constexpr OF_TARGET OF_TARGET_NONE = 0;
inline constexpr OF_TARGET OF_TARGET_ARM = 1;
inline constexpr OF_TARGET OF_TARGET_WREN = 2;
inline constexpr OF_TARGET OF_TARGET_KITE = 3;
inline constexpr OF_TARGET OF_TARGET_ROOK = 4;
inline constexpr OF_TARGET OF_TARGET_LOON = 5;
inline constexpr OF_TARGET OF_TARGET_GULL = 6;
inline constexpr OF_TARGET OF_TARGET_LOON_PLUS = 7;
inline constexpr OF_TARGET OF_TARGET_VOLE = 8;
inline constexpr OF_TARGET OF_TARGET_KNOT = 9;
inline constexpr OF_TARGET OF_TARGET_RILL = 10;
inline constexpr OF_TARGET OF_TARGET_SKUA = 11;
inline constexpr OF_TARGET OF_TARGET_ELF_MACHINE_BASE = 0x10000;

// "ELF", "QX-COFF" or "UNKNOWN".
const char* format_name(uint32_t format);
// "0", "1", "2", "1" for versions 1 to 4; "unknown format version" otherwise.
const char* format_version_name(uint32_t version);
// "relocatable file" ... "core file"; "unknown file type" otherwise.
const char* file_type_name(uint32_t type);
// "little endian", "big endian" or "unknown endianness".
const char* endian_name(uint32_t endian);
// The text of an error code; "unknown error" above 8.
const char* error_text(uint32_t code);
// The description of a build-attribute vendor code ("gnu", "kiteabi", ...); null for an unlisted one.
const char* vendor_description(const char* code);
// The machine name of a target id 1 to 11; null for any other id.
const char* target_machine_name(OF_TARGET target);

}  // namespace OFE
