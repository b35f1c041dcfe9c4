// Fuzz target: arbitrary bytes opened as an object file, listed in every form and dumped.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "util/pfile.h"

using namespace OFE;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::scratch_file(data, size);
    PFILE* input = pfopen(path.c_str(), "rb");
    if (!input) return 0;
    fuzz::exercise_object(input, 0, "fuzz.o");
    pfclose(input);
    return 0;
}
