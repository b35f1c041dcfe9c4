// Builds a small Kite object from nothing through the object-file library OFE and saves it twice, as ELF and as
// QXCOFF version 2:  build_kite_object ELF_FILE QXCOFF_FILE
//
// The object has a code section and a data section, three symbols (a function, a data word and an undefined
// function it calls) and one relocation: the code loads the data word's address. The same calls build both
// formats; only the relocation type is the format's own.
#include <cstdio>
#include <memory>

#include "ofe/object_file.h"
#include "ofe/of_reloc.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_types.h"
#include "util/data_map.h"

namespace {

bool failed = false;

// The library reports problems here; any report fails the program.
void report(OFE::OBJECT_FILE* object, OFE::OF_ERROR code, const char* message) {
    std::fprintf(stderr, "build_kite_object: %s: %s\n", OFE::error_text(code), message);
    object->clear_error();
    failed = true;
}

// The Kite object in one format: "R_KITE_ABS16" in ELF, "R_RELWORD" in QXCOFF.
std::unique_ptr<OFE::OBJECT_FILE> build(OFE::OF_FORMAT format, uint32_t version, uint32_t absolute16) {
    OFE::OF_FILE_INFO info;
    info.format = format;
    info.format_version = version;
    info.target = OFE::OF_TARGET_KITE;
    info.endian = OFE::OF_ENDIAN_LITTLE;
    std::unique_ptr<OFE::OBJECT_FILE> object(OFE::OBJECT_FILE::create(info, report));
    if (!object) return nullptr;

    // Kite counts in 16-bit units: the code is three words, the data one.
    OFE::OF_SECTION_TABLE* sections = object->section_table();
    OFE::OF_SECTION* text = sections->add_section(".text");
    text->make_code();
    text->set_alignment(2);
    for (uint16_t word : {0x1201, 0x0000, 0x7f00}) text->data().write_u16(word);  // load #counter; call; return
    OFE::OF_SECTION* data = sections->add_section(".data");
    data->make_data();
    data->data().write_u16(42);

    OFE::OF_SYMBOL_TABLE* symbols = object->symbol_table();
    OFE::OF_SYMBOL* main_function = symbols->add_symbol();
    main_function->set_name("_main");
    main_function->set_binding(OFE::OF_BIND_GLOBAL);
    main_function->set_section(text);
    OFE::OF_SYMBOL* counter = symbols->add_symbol();
    counter->set_name("_counter");
    counter->set_binding(OFE::OF_BIND_GLOBAL);
    counter->set_section(data);
    OFE::OF_SYMBOL* print = symbols->add_symbol();
    print->set_name("_print");
    print->set_binding(OFE::OF_BIND_GLOBAL);
    print->set_kind(OFE::OF_SYM_UNDEFINED);

    // The second code word holds the address of _counter once the object is linked.
    text->reloc_table_for_change()->add_reloc(1, absolute16, counter->index());
    return object;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: build_kite_object ELF_FILE QXCOFF_FILE\n");
        return 2;
    }
    auto elf = build(OFE::OF_FORMAT_ELF, 4, 2 /* R_KITE_ABS16 */);
    auto qxcoff = build(OFE::OF_FORMAT_QXCOFF, 3 /* version "2" */, 16 /* R_RELWORD */);
    if (!elf || !qxcoff || elf->save_to_path(argv[1]) != 0 || qxcoff->save_to_path(argv[2]) != 0 || failed) return 1;
    std::printf("%s: ELF, %u sections, %u symbol table entries\n", argv[1], elf->section_table()->count(),
                elf->symbol_table()->count());
    std::printf("%s: QX-COFF version 2, %u sections, %u symbol table entries\n", argv[2],
                qxcoff->section_table()->count(), qxcoff->symbol_table()->count());
    return 0;
}
