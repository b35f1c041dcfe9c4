// The QXCOFF value-name tables and their lookups.
#include "ofe/coff/qxcoff_names.h"

#include "ofe/coff/qxcoff_defs.h"
#include "ofe/of_value_names.h"

namespace OFE {

namespace {

using namespace QXCOFF;

constexpr VALUE_NAME FILE_FLAGS[] = {
    {F_VERS0, "F_VERS0"},   {F_RELFLG, "F_RELFLG"}, {F_EXEC, "F_EXEC"},         {F_LNNO, "F_LNNO"},
    {F_LSYMS, "F_LSYMS"},   {F_VERS1, "F_VERS1"},   {F_VERS2, "F_VERS2"},       {F_VERS3, "F_VERS3"},
    {F_VERS4, "F_VERS4"},   {F_LITTLE, "F_LITTLE"}, {F_BIG, "F_BIG"},           {F_SYMMERGE, "F_SYMMERGE"},
    {F_ICODE, "F_ICODE"},
};

constexpr VALUE_NAME SECTION_FLAGS[] = {
    {STYP_REG, "STYP_REG"},         {STYP_DSECT, "STYP_DSECT"},       {STYP_NOLOAD, "STYP_NOLOAD"},
    {STYP_GROUP, "STYP_GROUP"},     {STYP_PAD, "STYP_PAD"},           {STYP_COPY, "STYP_COPY"},
    {STYP_TEXT, "STYP_TEXT"},       {STYP_DATA, "STYP_DATA"},         {STYP_BSS, "STYP_BSS"},
    {STYP_BLOCK, "STYP_BLOCK"},     {STYP_PASS, "STYP_PASS"},         {STYP_CLINK, "STYP_CLINK"},
    {STYP_VECTOR, "STYP_VECTOR"},   {STYP_PADDED, "STYP_PADDED"},     {STYP_ICODE, "STYP_ICODE"},
    {STYP_LGT, "STYP_LGT"},         {STYP_IS_GROUP, "STYP_IS_GROUP"}, {STYP_IN_GROUP, "STYP_IN_GROUP"},
};

constexpr VALUE_NAME STORAGE_CLASSES[] = {
    {C_NULL, "C_NULL"},         {C_AUTO, "C_AUTO"},         {C_EXT, "C_EXT"},
    {C_STAT, "C_STAT"},         {C_REG, "C_REG"},           {C_EXTREF, "C_EXTREF"},
    {C_LABEL, "C_LABEL"},       {C_ULABEL, "C_ULABEL"},     {C_MOS, "C_MOS"},
    {C_ARG, "C_ARG"},           {C_STRTAG, "C_STRTAG"},     {C_MOU, "C_MOU"},
    {C_UNTAG, "C_UNTAG"},       {C_TPDEF, "C_TPDEF"},       {C_USTATIC, "C_USTATIC"},
    {C_ENTAG, "C_ENTAG"},       {C_MOE, "C_MOE"},           {C_REGPARM, "C_REGPARM"},
    {C_FIELD, "C_FIELD"},       {C_UEXT, "C_UEXT"},         {C_STATLAB, "C_STATLAB"},
    {C_EXTLAB, "C_EXTLAB"},     {C_VREG, "C_VREG"},         {C_SYSTEM, "C_SYSTEM"},
    {C_STATREG, "C_STATREG"},   {C_EXTREG, "C_EXTREG"},     {C_EXTREFREG, "C_EXTREFREG"},
    {C_VARARG, "C_VARARG"},     {C_EXTDEF, "C_EXTDEF"},     {C_USTATREG, "C_USTATREG"},
    {C_BLOCK, "C_BLOCK"},       {C_FCN, "C_FCN"},           {C_EOS, "C_EOS"},
    {C_FILE, "C_FILE"},         {C_LINE, "C_LINE"},         {C_ALIAS, "C_ALIAS"},
    {C_PREF, "C_PREF"},         {C_GRPTAG, "C_GRPTAG"},     {C_SMOG, "C_SMOG"},
    {C_EMOG, "C_EMOG"},         {C_EOG, "C_EOG"},
};

constexpr VALUE_NAME BASIC_TYPES[] = {
    {0, "void"},   {1, "signed char"}, {2, "char"},         {3, "short"},         {4, "int"},
    {5, "long"},   {6, "float"},       {7, "double"},       {8, "struct"},        {9, "union"},
    {10, "enum"},  {11, "long double"}, {12, "unsigned char"}, {13, "unsigned short"}, {14, "unsigned int"},
    {15, "unsigned long"},
};

constexpr VALUE_NAME DERIVED_TYPES[] = {{DT_NON, "none"}, {DT_PTR, "pointer"}, {DT_FCN, "function"}, {DT_ARY, "array"}};

}  // namespace

const char* qxcoff_file_flag_name(uint32_t value) { return value_name_or(FILE_FLAGS, value, "F_UNKNOWN"); }

const char* qxcoff_section_flag_name(uint32_t value) { return value_name_or(SECTION_FLAGS, value, "STYP_UNKNOWN"); }

const char* qxcoff_storage_class_name(uint32_t sclass) { return value_name_or(STORAGE_CLASSES, sclass, "C_UNKNOWN"); }

const char* qxcoff_basic_type_name(uint32_t basic_type) { return value_name_or(BASIC_TYPES, basic_type, "unknown"); }

const char* qxcoff_derived_type_name(uint32_t derived_type) {
    return value_name_or(DERIVED_TYPES, derived_type, "unknown");
}

}  // namespace OFE
