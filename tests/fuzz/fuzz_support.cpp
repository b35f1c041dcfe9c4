// Listing and dumping one object for the fuzz targets.
#include "fuzz_support.h"

#include <cstdio>
#include <unistd.h>

#include "DIAG/diag.h"
#include "nm/nm_listing.h"
#include "nm/nm_tool.h"
#include "ofe/object_file.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/pfile.h"

using namespace OFE;

namespace fuzz {

namespace {

void clear_report(OFE::OBJECT_FILE* object, OFE::OF_ERROR, const char*) { object->clear_error(); }

PFILE* null_output() {
    static PFILE* out = [] {
        PFILE* p = pfopen("/dev/null", "w");
        pfpin(p, 1);
        return p;
    }();
    return out;
}

OPT_STATE* options() {
    static OPT_STATE* state = [] {
        auto* s = new OPT_STATE(&nmkite_option_table);
        nm_tool().options = s;
        // The tool's warnings would drown the fuzzer's own output.
        DIAG::settings().output_stream = pffile(null_output());
        return s;
    }();
    return state;
}

}  // namespace

const std::string& scratch_file(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/nmkite-fuzz-" + std::to_string(::getpid()) + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

void exercise_object(PFILE* input, uint32_t size, const char* name) {
    const long start = std::ftell(pffile(input));
    // Each input is a run of its own: errors of earlier inputs must not reach the tool's error limit.
    DIAG::diag_reset_error_count();
    OFE::OBJECT_FILE* object = OFE::OBJECT_FILE::open(input, size, name, nullptr);
    if (!object) return;
    object->set_error_handler(clear_report);
    object->clear_error();
    OPT_STATE* state = options();
    for (int form = 0; form < 4; ++form) {
        (form & 1) ? opt_set(state, nmkite_opt::long_form) : opt_clear(state, nmkite_opt::long_form);
        (form & 2) ? opt_set(state, nmkite_opt::dynamic_symbols) : opt_clear(state, nmkite_opt::dynamic_symbols);
        dump_symbols(object, null_output(), name);
    }
    // One dump per input (the segment table's two forms on alternate input sizes), then the description.
    FILE* out = pffile(null_output());
    object->select_dump_category("rawdata", true);
    object->set_detailed_dump(object->size() % 2 != 0);
    object->dump(out);
    object->write_xml_to_handle(out);
    delete object;
    std::fseek(pffile(input), start, SEEK_SET);
}

}  // namespace fuzz
