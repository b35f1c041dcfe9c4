// Fuzz target: arbitrary bytes as an input file of nmkite, listed in every form as the tool lists them.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::list_in_every_form(fuzz::scratch_file(data, size));
    return 0;
}
