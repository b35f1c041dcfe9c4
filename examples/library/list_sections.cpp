// Opens an object file by its path and prints its sections and its symbols, through the object-file
// library OFE:  list_sections FILE
#include <cstdio>
#include <memory>

#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_symbol.h"
#include "ofe/of_types.h"

namespace {

// The library reports problems of the file here; the walk goes on with what can be read.
void report(OFE::OBJECT_FILE* object, OFE::OF_ERROR code, const char* message) {
    std::fprintf(stderr, "list_sections: %s: %s\n", OFE::error_text(code), message);
    object->clear_error();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: list_sections FILE\n");
        return 2;
    }
    std::unique_ptr<OFE::OBJECT_FILE> object(OFE::OBJECT_FILE::open_path(argv[1], report));
    if (!object) {
        std::fprintf(stderr, "list_sections: %s is not an ELF or QXCOFF file that can be read\n", argv[1]);
        return 1;
    }
    std::printf("%s: %s, %s, %s\n", argv[1], OFE::format_name(object->format()), object->machine_name(),
                OFE::endian_name(object->endian()));

    OFE::OF_SECTION_TABLE* sections = object->section_table();
    std::printf("%u sections\n", sections->count());
    for (uint32_t i = 0; i < sections->count(); ++i) {
        const OFE::OF_SECTION* s = sections->section_at(i);
        if (!s) continue;
        std::printf("  %2u %-20s %6u units %s%s%s\n", s->section_id(), s->name() ? s->name() : "(no name)", s->size(),
                    s->is_code() ? "code" : s->is_data() ? "data" : s->is_bss() ? "bss" : "other",
                    s->allocated() ? ", allocated" : "", s->has_raw_data() ? "" : ", no bytes");
    }

    OFE::OF_SYMBOL_TABLE* symbols = object->symbol_table();
    const uint32_t count = symbols ? symbols->count() : 0;
    std::printf("%u symbol table entries\n", count);
    for (uint32_t i = 0; i < count; i = symbols->next_index(i)) {
        const OFE::OF_SYMBOL* s = symbols->symbol_at(i);
        if (!s) continue;
        const OFE::OF_SECTION* in = s->section();
        std::printf("  %08x %-9s %-6s %-8s %s%s%s\n", s->value(), OFE::symbol_kind_name(s->kind()),
                    OFE::symbol_binding_name(s->binding()), OFE::symbol_type_name(s->type()),
                    s->name() ? s->name() : "", in ? " in " : "", in && in->name() ? in->name() : "");
    }
    return 0;
}
