// The entry of the name utility: the option loop, the output and the loop over input files.
#include "nm/nm_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DIAG/user_msg_api.h"
#include "archive/ar_reader.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/pfile.h"

namespace {

const char* take_next_argument() {
    NM_TOOL& tool = nm_tool();
    if (tool.next_index >= tool.argc) return nullptr;
    return tool.argv[tool.next_index++];
}

[[noreturn]] void usage_and_exit() {
    (void)opt_help(nm_tool().options, nullptr, true);
    diag_exit(1);
}

// Consumes the leading option words; returns the first input file name.
const char* parse_options() {
    NM_TOOL& tool = nm_tool();
    for (;;) {
        if (tool.next_index >= tool.argc) usage_and_exit();
        const char* word = tool.argv[tool.next_index++];
        if (!word) usage_and_exit();
        if (word[0] != '-') return word;
        (void)opt_parse_arg(tool.options, word + 1, nullptr);
    }
}

PFILE* open_output() {
    PFILE* output = pfstdout();
    if (const char* path = opt_get_text(nm_tool().options, nmkite_opt::output_file, 0)) {
        output = pfopen(path, "w");
        if (!output) user_msg_fatal(user_msg_context(), "cannot open \"%s\" for output\n", path);
    }
    pfpin(output, 1);
    return output;
}

void list_archive(const char* name, ar_reader* reader, PFILE* output) {
    std::fprintf(pffile(output), "\nARCHIVE:  %s\n", name);
    ar_read_index(reader);
    for (const ar_member* member = ar_first_member(reader); member; member = member->next) {
        PFILE* stream = ar_member_stream(reader, member);
        list_object(member->name, stream, member->size, output);
    }
}

// Runs `release` when the scope ends, also when an exit hook ends the run by unwinding (diag_exit).
template <class RELEASE>
class AT_SCOPE_END {
public:
    explicit AT_SCOPE_END(RELEASE release) : release_(release) {}
    AT_SCOPE_END(const AT_SCOPE_END&) = delete;
    AT_SCOPE_END& operator=(const AT_SCOPE_END&) = delete;
    ~AT_SCOPE_END() { release_(); }

private:
    RELEASE release_;
};

void list_file(const char* name, PFILE* output) {
    PFILE* input = pfopen(name, "rb");
    if (!input) user_msg_fatal(user_msg_context(), "cannot open \"%s\" for input\n", name);
    const AT_SCOPE_END close_input([input] { pfclose(input); });
    list_input(name, input, output);
}

}  // namespace

NM_TOOL& nm_tool() {
    static NM_TOOL tool;
    return tool;
}

void list_input(const char* name, PFILE* input, PFILE* output) {
    ar_reader* reader = ar_open(name, input, nm_archive_error);
    const AT_SCOPE_END close_reader([&reader] {
        if (reader) ar_close(reader);
    });
    const bool archive = ar_is_archive(reader);
    if (!archive) {
        ar_close(reader);
        reader = nullptr;
    }
    (void)pfseeko(pffile(input), 0, SEEK_SET);
    if (archive)
        list_archive(name, reader, output);
    else
        list_object(name, input, 0, output);
}

void nm_archive_error(ar_reader*, int, const char* message) { user_msg_error(user_msg_context(), "%s", message); }

int nm_main(int argc, char** argv) {
    NM_TOOL& tool = nm_tool();
    tool.argc = argc;
    tool.argv = argv;
    tool.next_index = 1;
    tool.options = new OPT_STATE(&nmkite_option_table);  // lives for the whole run
    if (argc > 0 && argv[0]) {
        tool.tool_name = argv[0];
        tool.options->tool_name = argv[0];
    }
    opt_set_next_argument(take_next_argument);

    const char* first = parse_options();
    tool.output = open_output();
    for (const char* name = first; name; name = take_next_argument()) list_file(name, tool.output);
    // Nothing is lost silently: a listing that could not be written whole (a full disk) is an error.
    FILE* out = pffile(tool.output);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        const char* where = *pfname(tool.output) ? pfname(tool.output) : "standard output";
        user_msg_error(user_msg_context(), "cannot write the listing to \"%s\": %s", where, std::strerror(errno));
    }
    pfclose(tool.output);
    return diag_error_count() > 0 ? 1 : 0;
}
