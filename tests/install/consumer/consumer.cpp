// Prints the format of an object file and the names of its defined global symbols in table order,
// as another tool of the tool chain would read them through the installed object-file library.
#include <cstdio>

#include "ofe/object_file.h"
#include "ofe/of_symbol.h"
#include "util/pfile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ofe_consumer FILE\n");
        return 2;
    }
    OFE::PFILE* file = OFE::pfopen(argv[1], "rb");
    OFE::OBJECT_FILE* object = file ? OFE::OBJECT_FILE::open(file, 0, argv[1], nullptr) : nullptr;
    if (!object || object->error_code() != OFE::OF_ERR_NONE) {
        std::fprintf(stderr, "ofe_consumer: cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %s\n", argv[1], OFE::format_name(object->format()));
    OFE::OF_SYMBOL_TABLE* table = object->symbol_table();
    for (uint32_t i = 0; table && i < table->count(); i = table->next_index(i)) {
        const OFE::OF_SYMBOL* symbol = table->symbol_at(i);
        if (symbol && symbol->kind() == OFE::OF_SYM_DEFINED && symbol->binding() == OFE::OF_BIND_GLOBAL)
            std::printf("%s\n", symbol->name());
    }
    delete object;
    OFE::pfclose(file);
    return 0;
}
