// Fuzz targets fuzz_dump and fuzz_save: arbitrary bytes as an object file, given to the object-file library's
// information dump (every category, the sections' raw data included, the segment table in its compact form for
// inputs of even size and in its detailed form for the others), the section summary and the XML description.
//
// fuzz_save (NMKITE_FUZZ_SAVE) then saves the object, unless reading it reported an error (as a user of the
// library would not save it); what was saved is read back, listed in every form, dumped, and saved once more.
// The writer may refuse any object, but must not crash, and what it writes must read.
//
// A dump prints many bytes for each byte it reads, so the targets are for small inputs: libFuzzer's own limit
// of 4096 bytes holds as long as the corpora hold no larger input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "util/pfile.h"

namespace {

bool serious = false;  // an error (not a warning) was reported since the object was opened

// Reports are cleared as they come, so that none stays pending and hides the next.
void note_report(OFE::OBJECT_FILE* object, OFE::OF_ERROR code, const char*) {
    if (code != OFE::OF_ERR_WARNING && code != OFE::OF_ERR_VALUE_TRUNCATED && code != OFE::OF_ERR_DEVELOPMENT)
        serious = true;
    object->clear_error();
}

// Opens the file at `path` and dumps it, the detailed segment table when `detailed`; then, when `out` is not
// null, saves it there. True when it was saved.
bool dump_and_save(const std::string& path, bool detailed, const char* out) {
    static FILE* const sink = std::fopen("/dev/null", "w");
    OFE::PFILE* input = OFE::pfopen(path.c_str(), "rb");
    if (!input) return false;
    bool saved = false;
    {
        serious = false;
        const std::unique_ptr<OFE::OBJECT_FILE> object(OFE::OBJECT_FILE::open(input, 0, "fuzz.o", note_report));
        if (object) {
            object->select_dump_category("rawdata", true);
            object->set_detailed_dump(detailed);
            object->dump(sink);
            if (OFE::OF_SECTION_TABLE* sections = object->section_table()) sections->dump_summary(sink);
            object->write_xml_to_handle(sink);
            saved = out && !serious && object->save_to_path(out) == 0;
        }
    }
    OFE::pfclose(input);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_file(data, size);
#ifdef NMKITE_FUZZ_SAVE
    const std::string first = path + ".saved", second = path + ".again";
    if (dump_and_save(path, size % 2 != 0, first.c_str())) {
        fuzz::list_in_every_form(first);
        (void)dump_and_save(first, size % 2 != 0, second.c_str());
    }
    ::unlink(first.c_str());
    ::unlink(second.c_str());
#else
    (void)dump_and_save(path, size % 2 != 0, nullptr);
#endif
    return 0;
}
