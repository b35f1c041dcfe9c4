// The names printed for QXCOFF values: file flags, section flags, storage classes, basic and derived types.
//
// Every lookup goes through a {value, name} table; each function states its fallback for unlisted values.
// Returned texts are static.
#pragma once

#include <cstdint>

namespace OFE {

// One f_flags value: "F_VERS0" (0), "F_RELFLG" ... "F_ICODE"; "F_UNKNOWN" for any other value.
const char* qxcoff_file_flag_name(uint32_t value);
// One s_flags value: "STYP_REG" (0), "STYP_DSECT" ... "STYP_IN_GROUP"; "STYP_UNKNOWN" for any other value
// (the alignment bits 8-11 included, which are not a flag).
const char* qxcoff_section_flag_name(uint32_t value);
// n_sclass: "C_NULL" ... "C_EOG"; "C_UNKNOWN" for a number without a name.
const char* qxcoff_storage_class_name(uint32_t sclass);
// The basic type of n_type bits 0-3: "void" ... "unsigned long"; "unknown" above 15.
const char* qxcoff_basic_type_name(uint32_t basic_type);
// A 2-bit derived-type field: "none", "pointer", "function", "array"; "unknown" above 3.
const char* qxcoff_derived_type_name(uint32_t derived_type);

}  // namespace OFE
