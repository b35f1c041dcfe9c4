// Fuzz target: arbitrary bytes opened as an object file and saved; what was saved is read back, listed in every
// form, dumped, and saved once more. An object whose reading reports an error is not saved (as a user of the
// library would not save it); the writer may refuse any other, but must not crash, and what it writes must read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <unistd.h>

#include "fuzz_support.h"
#include "ofe/object_file.h"
#include "util/pfile.h"

namespace {

bool serious = false;  // an error (not a warning) was reported since the object was opened

void note_report(OFE::OBJECT_FILE* object, OFE::OF_ERROR code, const char*) {
    if (code != OFE::OF_ERR_WARNING && code != OFE::OF_ERR_VALUE_TRUNCATED && code != OFE::OF_ERR_DEVELOPMENT)
        serious = true;
    object->clear_error();
}

// Opens the file at `path`, reads all it holds through its dump, and saves it to `out`; true when it was saved.
bool open_and_save(const std::string& path, const std::string& out) {
    static FILE* const sink = std::fopen("/dev/null", "w");
    OFE::PFILE* input = OFE::pfopen(path.c_str(), "rb");
    if (!input) return false;
    bool saved = false;
    {
        serious = false;
        const std::unique_ptr<OFE::OBJECT_FILE> object(OFE::OBJECT_FILE::open(input, 0, "fuzz.o", note_report));
        if (object) {
            object->select_dump_category("rawdata", true);
            object->dump(sink);
            saved = !serious && object->save_to_path(out.c_str()) == 0;
        }
    }
    OFE::pfclose(input);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::default_flag(argc, argv, "-max_len=4096");  // the dumps print much for each byte
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_file(data, size);
    const std::string first = path + ".saved", second = path + ".again";
    if (open_and_save(path, first)) {
        fuzz::list_in_every_form(first);
        (void)open_and_save(first, second);
    }
    ::unlink(first.c_str());
    ::unlink(second.c_str());
    return 0;
}
