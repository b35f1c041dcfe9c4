// Fuzz target: arbitrary bytes opened as an object file and saved; what was saved is read back, listed and
// dumped, and saved once more. An object whose reading reports an error is not saved (as a user of the
// library would not); the writer may refuse any other, but must not crash, and what it writes must read.
#include <cstddef>
#include <cstdint>
#include <string>

#include <unistd.h>

#include "fuzz_support.h"
#include "ofe/object_file.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

bool serious = false;
void note_report(OBJECT_FILE* object, OF_ERROR code, const char*) {
    if (code != OF_ERR_WARNING && code != OF_ERR_VALUE_TRUNCATED && code != OF_ERR_DEVELOPMENT) serious = true;
    object->clear_error();
}

// Opens the file at `path`, brings everything it holds into memory through its dump, and saves it to `out`;
// true when it was saved.
bool open_and_save(const std::string& path, const std::string& out) {
    PFILE* input = pfopen(path.c_str(), "rb");
    if (!input) return false;
    serious = false;
    OBJECT_FILE* object = OBJECT_FILE::open(input, 0, "fuzz.o", note_report);
    bool saved = false;
    if (object) {
        FILE* sink = std::fopen("/dev/null", "w");
        object->dump(sink);
        std::fclose(sink);
        saved = !serious && object->save_to_path(out.c_str()) == 0;
        delete object;
    }
    pfclose(input);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_file(data, size);
    static const std::string first = path + ".saved", second = path + ".again";
    if (open_and_save(path, first)) {
        PFILE* saved = pfopen(first.c_str(), "rb");
        if (saved) {
            fuzz::exercise_object(saved, 0, "saved.o");
            pfclose(saved);
        }
        (void)open_and_save(first, second);
    }
    ::unlink(first.c_str());
    ::unlink(second.c_str());
    return 0;
}
