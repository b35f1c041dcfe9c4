// Fuzz target: arbitrary bytes as an object file, given to the object-file library's information dump (every
// category, the sections' raw data included, the segment table in its compact form for inputs of even size
// and in its detailed form for the others), the section summary and the XML description.
//
// A dump prints many bytes for each byte it reads, so the target is for small inputs: unless the command
// line sets -max_len, it is 4096.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "fuzz_support.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "util/pfile.h"

namespace {

// Reports are cleared as they come, so that none stays pending and hides the next.
void clear_report(OFE::OBJECT_FILE* object, OFE::OF_ERROR, const char*) { object->clear_error(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::default_flag(argc, argv, "-max_len=4096");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* const out = std::fopen("/dev/null", "w");
    OFE::PFILE* input = OFE::pfopen(fuzz::scratch_file(data, size).c_str(), "rb");
    if (!input) return 0;
    {
        const std::unique_ptr<OFE::OBJECT_FILE> object(OFE::OBJECT_FILE::open(input, 0, "fuzz.o", clear_report));
        if (object) {
            object->clear_error();
            object->select_dump_category("rawdata", true);
            object->set_detailed_dump(size % 2 != 0);
            object->dump(out);
            if (OFE::OF_SECTION_TABLE* sections = object->section_table()) sections->dump_summary(out);
            object->write_xml_to_handle(out);
        }
    }
    OFE::pfclose(input);
    return 0;
}
