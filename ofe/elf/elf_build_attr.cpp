// ELF build attributes: the dump heading names the attributes section.
#include "ofe/elf/elf_build_attr.h"

#include "ofe/of_section.h"

namespace OFE {

void ELF_BUILD_ATTR_TABLE::dump_heading(FILE* out) {
    const char* name = section()->name();
    std::fprintf(out, "\n Build Attributes in \"%s\"\n", name ? name : "");
}

}  // namespace OFE
