// The ELF value-name tables, their lookups and the fallback texts for values they do not list.
#include "ofe/elf/elf_names.h"

#include <cstdio>
#include <utility>

#include "ofe/elf/elf_defs.h"
#include "ofe/of_value_names.h"

namespace OFE {

using namespace ELF;

namespace {

// Fallback texts are built here. A ring rather than one buffer lets a caller print several in one line.
constexpr size_t RING_SIZE = 8;
constexpr size_t RING_TEXT = 32;  // the longest text, "PT_UNKNOWN (0x%x)", takes 24 with its NUL

char* next_ring_buffer() {
    static char ring[RING_SIZE][RING_TEXT];
    static size_t next = 0;
    char* buffer = ring[next];
    next = (next + 1) % RING_SIZE;
    return buffer;
}

// ---- File header ----

constexpr VALUE_NAME CLASS_NAMES[] = {
    {ELFCLASSNONE, "ELFCLASSNONE"},
    {ELFCLASS32, "ELFCLASS32"},
    {ELFCLASS64, "ELFCLASS64"},
};
constexpr VALUE_NAME CLASS_DESCRIPTIONS[] = {
    {ELFCLASSNONE, "invalid class"},
    {ELFCLASS32, "32-bit objects"},
    {ELFCLASS64, "64-bit objects"},
};

constexpr VALUE_NAME DATA_NAMES[] = {
    {ELFDATANONE, "ELFDATANONE"},
    {ELFDATA2LSB, "ELFDATA2LSB"},
    {ELFDATA2MSB, "ELFDATA2MSB"},
};
constexpr VALUE_NAME DATA_DESCRIPTIONS[] = {
    {ELFDATANONE, "unspecified endian"},
    {ELFDATA2LSB, "little endian"},
    {ELFDATA2MSB, "big endian"},
};

constexpr VALUE_NAME OSABI_NAMES[] = {
    {ELFOSABI_NONE, "ELFOSABI_NONE"},
    {ELFOSABI_HPUX, "ELFOSABI_HPUX"},
    {ELFOSABI_NETBSD, "ELFOSABI_NETBSD"},
    {ELFOSABI_LINUX, "ELFOSABI_LINUX"},
    {ELFOSABI_SOLARIS, "ELFOSABI_SOLARIS"},
    {ELFOSABI_AIX, "ELFOSABI_AIX"},
    {ELFOSABI_IRIX, "ELFOSABI_IRIX"},
    {ELFOSABI_FREEBSD, "ELFOSABI_FREEBSD"},
    {ELFOSABI_TRU64, "ELFOSABI_TRU64"},
    {ELFOSABI_MODESTO, "ELFOSABI_MODESTO"},
    {ELFOSABI_OPENBSD, "ELFOSABI_OPENBSD"},
    {ELFOSABI_OPENVMS, "ELFOSABI_OPENVMS"},
    {ELFOSABI_NSK, "ELFOSABI_NSK"},
    {ELFOSABI_AROS, "ELFOSABI_AROS"},
};
constexpr VALUE_NAME OSABI_DESCRIPTIONS[] = {
    {ELFOSABI_NONE, "None specified"},
    {ELFOSABI_HPUX, "Hewlett-Packard HP-UX"},
    {ELFOSABI_NETBSD, "NetBSD"},
    {ELFOSABI_LINUX, "Linux"},
    {ELFOSABI_SOLARIS, "Sun Solaris"},
    {ELFOSABI_AIX, "AIX"},
    {ELFOSABI_IRIX, "IRIX"},
    {ELFOSABI_FREEBSD, "FreeBSD"},
    {ELFOSABI_TRU64, "Compaq TRU64 UNIX"},
    {ELFOSABI_MODESTO, "Novell Modesto"},
    {ELFOSABI_OPENBSD, "Open BSD"},
    {ELFOSABI_OPENVMS, "Open VMS"},
    {ELFOSABI_NSK, "Hewlett-Packard Non-Stop Kernel"},
    {ELFOSABI_AROS, "Amiga Research OS"},
};

constexpr VALUE_NAME TYPE_NAMES[] = {
    {ET_NONE, "ET_NONE"}, {ET_REL, "ET_REL"}, {ET_EXEC, "ET_EXEC"}, {ET_DYN, "ET_DYN"}, {ET_CORE, "ET_CORE"},
};
constexpr VALUE_NAME TYPE_DESCRIPTIONS[] = {
    {ET_NONE, "no file type"},
    {ET_REL, "relocatable file"},
    {ET_EXEC, "executable file"},
    {ET_DYN, "shared object file"},
    {ET_CORE, "core file"},
};

// The machine table covers e_machine 0 to 159: the generic machines up to 110, then the maker's block from
// 140. Values 6, 11 to 14, 16, 23 to 35 and 111 to 139 have no entry, and nothing above 159 has one.
constexpr VALUE_NAME MACHINE_NAMES[] = {
    {0, "EM_NONE"},
    {1, "EM_M32"},
    {2, "EM_SPARC"},
    {3, "EM_386"},
    {4, "EM_68K"},
    {5, "EM_88K"},
    {7, "EM_860"},
    {8, "EM_MIPS"},
    {9, "EM_S370"},
    {10, "EM_MIPS_RS3_LE"},
    {15, "EM_PARISC"},
    {17, "EM_VPP500"},
    {18, "EM_SPARC32PLUS"},
    {19, "EM_960"},
    {20, "EM_PPC"},
    {21, "EM_PPC64"},
    {22, "EM_S390"},
    {36, "EM_V800"},
    {37, "EM_FR20"},
    {38, "EM_RH32"},
    {39, "EM_RCE"},
    {40, "EM_ARM"},
    {41, "EM_ALPHA"},
    {42, "EM_SH"},
    {43, "EM_SPARCV9"},
    {44, "EM_TRICORE"},
    {45, "EM_ARC"},
    {46, "EM_H8_300"},
    {47, "EM_H8_300H"},
    {48, "EM_H8S"},
    {49, "EM_H8_500"},
    {50, "EM_IA_64"},
    {51, "EM_MIPS_X"},
    {52, "EM_COLDFIRE"},
    {53, "EM_68HC12"},
    {54, "EM_MMA"},
    {55, "EM_PCP"},
    {56, "EM_NCPU"},
    {57, "EM_NDR1"},
    {58, "EM_STARCORE"},
    {59, "EM_ME16"},
    {60, "EM_ST100"},
    {61, "EM_TINYJ"},
    {62, "EM_X86_64"},
    {63, "EM_PDSP"},
    {64, "EM_PDP10"},
    {65, "EM_PDP11"},
    {66, "EM_FX66"},
    {67, "EM_ST9PLUS"},
    {68, "EM_ST7"},
    {69, "EM_68HC16"},
    {70, "EM_68HC11"},
    {71, "EM_68HC08"},
    {72, "EM_68HC05"},
    {73, "EM_SVX"},
    {74, "EM_ST19"},
    {75, "EM_VAX"},
    {76, "EM_CRIS"},
    {77, "EM_JAVELIN"},
    {78, "EM_FIREPATH"},
    {79, "EM_ZSP"},
    {80, "EM_MMIX"},
    {81, "EM_HUANY"},
    {82, "EM_PRISM"},
    {83, "EM_AVR"},
    {84, "EM_FR30"},
    {85, "EM_D10V"},
    {86, "EM_D30V"},
    {87, "EM_V850"},
    {88, "EM_M32R"},
    {89, "EM_MN10300"},
    {90, "EM_MN10200"},
    {91, "EM_PJ"},
    {92, "EM_OPENRISC"},
    {93, "EM_ARC_A5"},
    {94, "EM_XTENSA"},
    {95, "EM_VIDEOCORE"},
    {96, "EM_TMM_GPP"},
    {97, "EM_NS32K"},
    {98, "EM_TPC"},
    {99, "EM_SNP1K"},
    {100, "EM_ST200"},
    {101, "EM_IP2K"},
    {102, "EM_MAX"},
    {103, "EM_CR"},
    {104, "EM_F2MC16"},
    {105, "EM_WREN"},
    {106, "EM_BLACKFIN"},
    {107, "EM_SE_C33"},
    {108, "EM_SEP"},
    {109, "EM_ARCA"},
    {110, "EM_UNICORE"},
    {140, "EM_QX_GULL"},
    {141, "EM_QX_KITE"},
    {142, "EM_QX_LOON"},
    {143, "EM_QX_KNOT"},
    {144, "EM_QX_RILL"},
    {145, "EM_QX_SKUA"},
    {146, "EM_QX_UNUSED07"},
    {147, "EM_QX_UNUSED08"},
    {148, "EM_QX_UNUSED09"},
    {149, "EM_QX_UNUSED10"},
    {150, "EM_QX_UNUSED11"},
    {151, "EM_QX_UNUSED12"},
    {152, "EM_QX_UNUSED13"},
    {153, "EM_QX_UNUSED14"},
    {154, "EM_QX_UNUSED15"},
    {155, "EM_QX_UNUSED16"},
    {156, "EM_QX_UNUSED17"},
    {157, "EM_QX_UNUSED18"},
    {158, "EM_QX_UNUSED19"},
    {159, "EM_QX_UNUSED20"},
};
// Row for row the values of MACHINE_NAMES.
constexpr VALUE_NAME MACHINE_DESCRIPTIONS[] = {
    {0, "no machine"},
    {1, "AT&T WE 32100"},
    {2, "SPARC"},
    {3, "Intel 80386"},
    {4, "Motorola 68000"},
    {5, "Motorola 88000"},
    {7, "Intel 80860"},
    {8, "MIPS I Architecture"},
    {9, "IBM System/370 Processor"},
    {10, "MIPS RS3000 Little-endian"},
    {15, "Hewlett-Packard PA-RISC"},
    {17, "Fujitsu VPP500"},
    {18, "Enhanced instruction set SPARC"},
    {19, "Intel 80960"},
    {20, "PowerPC"},
    {21, "64-bit PowerPC"},
    {22, "IBM System/390 Processor"},
    {36, "NEC V800"},
    {37, "Fujitsu FR20"},
    {38, "TRW RH-32"},
    {39, "Motorola RCE"},
    {40, "Advanced RISC Machines ARM"},
    {41, "Digital Alpha"},
    {42, "Hitachi SH"},
    {43, "SPARC Version 9"},
    {44, "Siemens TriCore embedded processor"},
    {45, "Argonaut RISC Core, Argonaut Technologies Inc."},
    {46, "Hitachi H8/300"},
    {47, "Hitachi H8/300H"},
    {48, "Hitachi H8S"},
    {49, "Hitachi H8/500"},
    {50, "Intel IA-64 processor architecture"},
    {51, "Stanford MIPS-X"},
    {52, "Motorola ColdFire"},
    {53, "Motorola M68HC12"},
    {54, "Fujitsu MMA Multimedia Accelerator"},
    {55, "Siemens PCP"},
    {56, "Sony nCPU embedded RISC processor"},
    {57, "Denso NDR1 microprocessor"},
    {58, "Motorola Star*Core processor"},
    {59, "Toyota ME16 processor"},
    {60, "STMicroelectronics ST100 processor"},
    {61, "Advanced Logic Corp. TinyJ embedded processor family"},
    {62, "AMD x86-64 architecture"},
    {63, "Sony DSP Processor"},
    {64, "Digital Equipment Corp. PDP-10"},
    {65, "Digital Equipment Corp. PDP-11"},
    {66, "Siemens FX66 microcontroller"},
    {67, "STMicroelectronics ST9+ 8/16 bit microcontroller"},
    {68, "STMicroelectronics ST7 8-bit microcontroller"},
    {69, "Motorola MC68HC16 Microcontroller"},
    {70, "Motorola MC68HC11 Microcontroller"},
    {71, "Motorola MC68HC08 Microcontroller"},
    {72, "Motorola MC68HC05 Microcontroller"},
    {73, "Silicon Graphics SVx"},
    {74, "STMicroelectronics ST19 8-bit microcontroller"},
    {75, "Digital VAX"},
    {76, "Axis Communications 32-bit embedded processor"},
    {77, "Infineon Technologies 32-bit embedded processor"},
    {78, "Element 14 64-bit DSP Processor"},
    {79, "LSI Logic 16-bit DSP Processor"},
    {80, "Donald Knuth's educational 64-bit processor"},
    {81, "Harvard University machine-independent object files"},
    {82, "SiTera Prism"},
    {83, "Atmel AVR 8-bit microcontroller"},
    {84, "Fujitsu FR30"},
    {85, "Mitsubishi D10V"},
    {86, "Mitsubishi D30V"},
    {87, "NEC v850"},
    {88, "Mitsubishi M32R"},
    {89, "Matsushita MN10300"},
    {90, "Matsushita MN10200"},
    {91, "picoJava"},
    {92, "OpenRISC 32-bit embedded processor"},
    {93, "ARC Cores Tangent-A5"},
    {94, "Tensilica Xtensa Architecture"},
    {95, "Alphamosaic VideoCore processor"},
    {96, "Thompson Multimedia General Purpose Processor"},
    {97, "National Semiconductor 32000 series"},
    {98, "Tenor Network TPC processor"},
    {99, "Trebia SNP 1000 processor"},
    {100, "STMicroelectronics (www.st.com) ST200 microcontroller"},
    {101, "Ubicom IP2xxx microcontroller family"},
    {102, "MAX Processor"},
    {103, "National Semiconductor CompactRISC microprocessor"},
    {104, "Fujitsu F2MC16"},
    {105, "Norvane embedded microcontroller wren"},
    {106, "Analog Devices Blackfin (DSP) processor"},
    {107, "S1C33 Family of Seiko Epson processors"},
    {108, "Sharp embedded microprocessor"},
    {109, "Arca RISC Microprocessor"},
    {110, "Microprocessor series from PKU-Unicore and MPRC of Peking University"},
    {140, "Norvane Gull DSP family"},
    {141, "Norvane Kite DSP family"},
    {142, "Norvane Loon DSP family"},
    {143, "Norvane Knot family"},
    {144, "Norvane Rill family"},
    {145, "Norvane Skua family"},
    {146, "Reserved for Norvane; unused"},
    {147, "Reserved for Norvane; unused"},
    {148, "Reserved for Norvane; unused"},
    {149, "Reserved for Norvane; unused"},
    {150, "Reserved for Norvane; unused"},
    {151, "Reserved for Norvane; unused"},
    {152, "Reserved for Norvane; unused"},
    {153, "Reserved for Norvane; unused"},
    {154, "Reserved for Norvane; unused"},
    {155, "Reserved for Norvane; unused"},
    {156, "Reserved for Norvane; unused"},
    {157, "Reserved for Norvane; unused"},
    {158, "Reserved for Norvane; unused"},
    {159, "Reserved for Norvane; unused"},
};

// ---- Sections ----

constexpr VALUE_NAME SECTION_TYPES[] = {
    {SHT_NULL, "SHT_NULL"},
    {SHT_PROGBITS, "SHT_PROGBITS"},
    {SHT_SYMTAB, "SHT_SYMTAB"},
    {SHT_STRTAB, "SHT_STRTAB"},
    {SHT_RELA, "SHT_RELA"},
    {SHT_HASH, "SHT_HASH"},
    {SHT_DYNAMIC, "SHT_DYNAMIC"},
    {SHT_NOTE, "SHT_NOTE"},
    {SHT_NOBITS, "SHT_NOBITS"},
    {SHT_REL, "SHT_REL"},
    {SHT_SHLIB, "SHT_SHLIB"},
    {SHT_DYNSYM, "SHT_DYNSYM"},
    {SHT_INIT_ARRAY, "SHT_INIT_ARRAY"},
    {SHT_FINI_ARRAY, "SHT_FINI_ARRAY"},
    {SHT_PREINIT_ARRAY, "SHT_PREINIT_ARRAY"},
    {SHT_GROUP, "SHT_GROUP"},
    {SHT_SYMTAB_SHNDX, "SHT_SYMTAB_SHNDX"},
};
constexpr VALUE_NAME VERSION_SECTION_TYPES[] = {
    {SHT_GNU_versym, "SHT_GNU_versym"},
    {SHT_GNU_verdef, "SHT_GNU_verdef"},
    {SHT_GNU_verneed, "SHT_GNU_verneed"},
};
constexpr VALUE_NAME ATTRIBUTE_SECTION_TYPES[] = {{SHT_ATTRIBUTES, "SHT_ATTRIBUTES"}};
constexpr VALUE_NAME QX_FLAGS_SECTION_TYPES[] = {{SHT_QX_SH_FLAGS, "SHT_QX_SH_FLAGS"}};
constexpr VALUE_NAME QX_PAGE_SECTION_TYPES[] = {{SHT_QX_SH_PAGE, "SHT_QX_SH_PAGE"}};

constexpr VALUE_NAME SECTION_FLAGS[] = {
    {SHF_WRITE, "SHF_WRITE"},
    {SHF_ALLOC, "SHF_ALLOC"},
    {SHF_EXECINSTR, "SHF_EXECINSTR"},
    {SHF_MERGE, "SHF_MERGE"},
    {SHF_STRINGS, "SHF_STRINGS"},
    {SHF_INFO_LINK, "SHF_INFO_LINK"},
    {SHF_LINK_ORDER, "SHF_LINK_ORDER"},
    {SHF_OS_NONCONFORMING, "SHF_OS_NONCONFORMING"},
    {SHF_GROUP, "SHF_GROUP"},
    {SHF_TLS, "SHF_TLS"},
};

constexpr VALUE_NAME EXT_FLAGS[] = {
    {QX_SHF_NONE, "QX_SHF_NONE"},
    {QX_SHF_INVALID, "QX_SHF_INVALID"},
    {QX_SHF_RETAIN, "QX_SHF_RETAIN"},
    {QX_SHF_BOUND, "QX_SHF_BOUND"},
    {QX_SHF_RETAINREFS, "QX_SHF_RETAINREFS"},
    {QX_SHF_NOINIT, "QX_SHF_NOINIT"},
    {QX_SHF_PRESERVE, "QX_SHF_PRESERVE"},
    {QX_SHF_UPDATE, "QX_SHF_UPDATE"},
};

constexpr VALUE_NAME SPECIAL_INDEXES[] = {
    {SHN_UNDEF, "SHN_UNDEF"},
    {SHN_ABS, "SHN_ABS"},
    {SHN_COMMON, "SHN_COMMON"},
};

// ---- Symbols ----

constexpr VALUE_NAME BINDINGS[] = {
    {STB_LOCAL, "STB_LOCAL"},
    {STB_GLOBAL, "STB_GLOBAL"},
    {STB_WEAK, "STB_WEAK"},
};
constexpr VALUE_NAME SYMBOL_TYPES[] = {
    {STT_NOTYPE, "STT_NOTYPE"}, {STT_OBJECT, "STT_OBJECT"}, {STT_FUNC, "STT_FUNC"}, {STT_SECTION, "STT_SECTION"},
    {STT_FILE, "STT_FILE"},     {STT_COMMON, "STT_COMMON"}, {STT_TLS, "STT_TLS"},
};
constexpr VALUE_NAME VISIBILITIES[] = {
    {STV_DEFAULT, "STV_DEFAULT"},
    {STV_INTERNAL, "STV_INTERNAL"},
    {STV_HIDDEN, "STV_HIDDEN"},
    {STV_PROTECTED, "STV_PROTECTED"},
};
constexpr VALUE_NAME VERSION_INDEXES[] = {
    {VER_NDX_LOCAL, "VER_NDX_LOCAL"},
    {VER_NDX_GLOBAL, "VER_NDX_GLOBAL"},
    {VER_NDX_ELIMINATE, "VER_NDX_ELIMINATE"},
};

// ---- Segments ----

constexpr VALUE_NAME SEGMENT_TYPES[] = {
    {PT_NULL, "PT_NULL"}, {PT_LOAD, "PT_LOAD"}, {PT_DYNAMIC, "PT_DYNAMIC"}, {PT_INTERP, "PT_INTERP"},
    {PT_NOTE, "PT_NOTE"}, {PT_SHLIB, "PT_SHLIB"}, {PT_PHDR, "PT_PHDR"},     {PT_TLS, "PT_TLS"},
};
constexpr VALUE_NAME SEGMENT_FLAGS[] = {{PF_X, "PF_X"}, {PF_W, "PF_W"}, {PF_R, "PF_R"}};

// ---- Dynamic tags ----

constexpr DT_INFO GENERIC_DT_INFOS[] = {
    {"DT_NULL", DT_NULL, DT_UN_IGNORED, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_NEEDED", DT_NEEDED, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_PLTRELSZ", DT_PLTRELSZ, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_PLTGOT", DT_PLTGOT, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_HASH", DT_HASH, DT_UN_PTR, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_STRTAB", DT_STRTAB, DT_UN_PTR, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_SYMTAB", DT_SYMTAB, DT_UN_PTR, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_RELA", DT_RELA, DT_UN_PTR, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_RELASZ", DT_RELASZ, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_RELAENT", DT_RELAENT, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_STRSZ", DT_STRSZ, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_SYMENT", DT_SYMENT, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_MANDATORY},
    {"DT_INIT", DT_INIT, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_FINI", DT_FINI, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_SONAME", DT_SONAME, DT_UN_VAL, DT_REQ_IGNORED, DT_REQ_OPTIONAL},
    {"DT_RPATH", DT_RPATH, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_IGNORED},
    {"DT_SYMBOLIC", DT_SYMBOLIC, DT_UN_IGNORED, DT_REQ_IGNORED, DT_REQ_OPTIONAL},
    {"DT_REL", DT_REL, DT_UN_PTR, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_RELSZ", DT_RELSZ, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_RELENT", DT_RELENT, DT_UN_VAL, DT_REQ_MANDATORY, DT_REQ_OPTIONAL},
    {"DT_PLTREL", DT_PLTREL, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_DEBUG", DT_DEBUG, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_IGNORED},
    {"DT_TEXTREL", DT_TEXTREL, DT_UN_IGNORED, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_JMPREL", DT_JMPREL, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_BIND_NOW", DT_BIND_NOW, DT_UN_IGNORED, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_INIT_ARRAY", DT_INIT_ARRAY, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_FINI_ARRAY", DT_FINI_ARRAY, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_INIT_ARRAYSZ", DT_INIT_ARRAYSZ, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_FINI_ARRAYSZ", DT_FINI_ARRAYSZ, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_RUNPATH", DT_RUNPATH, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_FLAGS", DT_FLAGS, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    // Shares tag 32 with DT_PREINIT_ARRAY below, which replaces it in every lookup.
    {"DT_ENCODING", DT_ENCODING, DT_UN_UNSPECIFIED, DT_REQ_UNSPECIFIED, DT_REQ_UNSPECIFIED},
    {"DT_PREINIT_ARRAY", DT_PREINIT_ARRAY, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_IGNORED},
    {"DT_PREINIT_ARRAYSZ", DT_PREINIT_ARRAYSZ, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_IGNORED},
};
constexpr DT_INFO VERSION_DT_INFOS[] = {
    {"DT_VERSYM", DT_VERSYM, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_VERDEF", DT_VERDEF, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_VERDEFNUM", DT_VERDEFNUM, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_VERNEED", DT_VERNEED, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
    {"DT_VERNEEDNUM", DT_VERNEEDNUM, DT_UN_VAL, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
};

// The GNU hash table's tag, known in every file: most shared objects carry only this hash table.
constexpr DT_INFO GNU_DT_INFOS[] = {
    {"DT_GNU_HASH", DT_GNU_HASH, DT_UN_PTR, DT_REQ_OPTIONAL, DT_REQ_OPTIONAL},
};

// Tags of the OS-specific range that no table lists have a d_un of unknown use.
constexpr uint32_t UNSPECIFIED_OS_TAGS_LOW = 0x6ffff001;
constexpr uint32_t UNSPECIFIED_OS_TAGS_HIGH = 0x6fffffff;
constexpr uint32_t FIRST_UNLISTED_GENERIC_TAG = 32;

}  // namespace

// ---- File header ----

const char* elf_class_name(uint8_t ei_class) { return value_name_or(CLASS_NAMES, ei_class, "ELFCLASSUNKNOWN"); }

const char* elf_class_description(uint8_t ei_class) {
    return value_name_or(CLASS_DESCRIPTIONS, ei_class, "unknown class");
}

const char* elf_data_name(uint8_t ei_data) { return value_name_or(DATA_NAMES, ei_data, "ELFDATAUNKNOWN"); }

const char* elf_data_description(uint8_t ei_data) {
    return value_name_or(DATA_DESCRIPTIONS, ei_data, "ELFDATAUNKNOWN");
}

namespace {

// Name and description of an unlisted OS/ABI are the same text.
const char* osabi_text(std::span<const VALUE_NAME> table, uint8_t ei_osabi) {
    if (const char* name = find_value_name(table, ei_osabi)) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "ELFOSABI_0x%02x", static_cast<unsigned>(ei_osabi));
    return text;
}

}  // namespace

const char* elf_osabi_name(uint8_t ei_osabi) { return osabi_text(OSABI_NAMES, ei_osabi); }

const char* elf_osabi_description(uint8_t ei_osabi) { return osabi_text(OSABI_DESCRIPTIONS, ei_osabi); }

const char* elf_type_name(uint16_t e_type) { return value_name_or(TYPE_NAMES, e_type, "unknown file type"); }

const char* elf_type_description(uint16_t e_type) {
    return value_name_or(TYPE_DESCRIPTIONS, e_type, "unknown file type");
}

const char* elf_machine_name(uint32_t e_machine) { return value_name_or(MACHINE_NAMES, e_machine, "EM_UNKNOWN"); }

const char* elf_machine_description(uint32_t e_machine) {
    return value_name_or(MACHINE_DESCRIPTIONS, e_machine, "unknown machine");
}

// ---- Sections ----

const char* elf_section_type_name(uint32_t sh_type, const ELF_SECTION_TYPE_SCOPE& scope) {
    const std::pair<bool, std::span<const VALUE_NAME>> tables[] = {
        {scope.versions, VERSION_SECTION_TYPES},
        {scope.build_attributes, ATTRIBUTE_SECTION_TYPES},
        {scope.qx_flags_type, QX_FLAGS_SECTION_TYPES},
        {scope.qx_page_type, QX_PAGE_SECTION_TYPES},
        {true, SECTION_TYPES},
    };
    for (const auto& [enabled, table] : tables)
        if (const char* name = enabled ? find_value_name(table, sh_type) : nullptr) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "SHT_0x%08x", static_cast<unsigned>(sh_type));
    return text;
}

const char* elf_section_flag_name(uint32_t bit) {
    if (const char* name = find_value_name(SECTION_FLAGS, bit)) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "SHF_0x%08x", static_cast<unsigned>(bit));
    return text;
}

const char* elf_ext_flag_name(uint32_t value) {
    if (const char* name = find_value_name(EXT_FLAGS, value)) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "QX_SHF_0x%08x", static_cast<unsigned>(value));
    return text;
}

const char* elf_special_index_name(uint32_t shndx) { return find_value_name(SPECIAL_INDEXES, shndx); }

// ---- Symbols ----

const char* elf_symbol_binding_name(uint8_t st_info) {
    return value_name_or(BINDINGS, ELF32_ST_BIND(st_info), "STB_UNKNOWN");
}

const char* elf_symbol_type_name(uint8_t st_info) {
    return value_name_or(SYMBOL_TYPES, ELF32_ST_TYPE(st_info), "STT_UNKNOWN");
}

const char* elf_symbol_visibility_name(uint8_t st_other) {
    return find_value_name(VISIBILITIES, ELF32_ST_VISIBILITY(st_other));  // all four values are listed
}

const char* elf_version_index_text(uint16_t versym) {
    // The hidden bit only means "hidden" on ordinary indexes; the reserved ones above it stand as they are.
    const bool hidden = (versym & VERSYM_HIDDEN) != 0 && versym < VER_NDX_LORESERVE;
    const uint16_t index = hidden ? static_cast<uint16_t>(versym & ~VERSYM_HIDDEN) : versym;
    if (const char* name = find_value_name(VERSION_INDEXES, index)) return name;
    const char* suffix = hidden ? " (deprecated)" : "";
    char* text = next_ring_buffer();
    if (index < VER_NDX_LORESERVE)
        std::snprintf(text, RING_TEXT, "%hu%s", index, suffix);
    else
        std::snprintf(text, RING_TEXT, "VER_NDX_0x%04hx%s", index, suffix);
    return text;
}

// ---- Segments ----

const char* elf_segment_type_name(uint32_t p_type) {
    if (const char* name = find_value_name(SEGMENT_TYPES, p_type)) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "PT_UNKNOWN (0x%x)", static_cast<unsigned>(p_type));
    return text;
}

const char* elf_segment_flag_name(uint32_t bit) {
    if (const char* name = find_value_name(SEGMENT_FLAGS, bit)) return name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "PF_0x%x", static_cast<unsigned>(bit));
    return text;
}

const char* elf_segment_flags_text(uint32_t p_flags) {
    char* text = next_ring_buffer();
    text[0] = (p_flags & PF_R) ? 'r' : '-';
    text[1] = (p_flags & PF_W) ? 'w' : '-';
    text[2] = (p_flags & PF_X) ? 'x' : '-';
    text[3] = '\0';
    return text;
}

// ---- Dynamic tags ----

std::span<const DT_INFO> elf_generic_dt_infos() { return GENERIC_DT_INFOS; }

std::span<const DT_INFO> elf_version_dt_infos() { return VERSION_DT_INFOS; }

std::span<const DT_INFO> elf_gnu_dt_infos() { return GNU_DT_INFOS; }

const DT_INFO* find_dt_info(std::span<const DT_INFO> table, uint32_t tag) {
    for (auto row = table.rbegin(); row != table.rend(); ++row)
        if (row->tag == tag) return &*row;
    return nullptr;
}

DT_UN_USE elf_unlisted_dt_un_use(uint32_t tag) {
    if (tag < FIRST_UNLISTED_GENERIC_TAG || (tag >= UNSPECIFIED_OS_TAGS_LOW && tag <= UNSPECIFIED_OS_TAGS_HIGH))
        return DT_UN_UNSPECIFIED;
    return (tag & 1) ? DT_UN_VAL : DT_UN_PTR;
}

const char* elf_dynamic_tag_name(uint32_t tag, bool versions) {
    const DT_INFO* info = find_dt_info(GENERIC_DT_INFOS, tag);
    if (!info && versions) info = find_dt_info(VERSION_DT_INFOS, tag);
    if (!info) info = find_dt_info(GNU_DT_INFOS, tag);
    if (info) return info->name;
    char* text = next_ring_buffer();
    std::snprintf(text, RING_TEXT, "DT_0x%x", static_cast<unsigned>(tag));
    return text;
}

}  // namespace OFE
