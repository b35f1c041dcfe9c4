// The entry of the name utility: the option loop, the output and the loop over input files.
#include "nm/nm_tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "DIAG/user_msg_api.h"
#include "archive/ar_reader.h"
#include "nm/nm_listing.h"
#include "ofe/object_file.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

const char* take_next_argument() {
    NM_TOOL& tool = nm_tool();
    if (tool.next_index >= tool.argc) return nullptr;
    return tool.argv[tool.next_index++];
}

[[noreturn]] void usage_and_exit() {
    (void)opt_help(nm_tool().options, nullptr, true);
    DIAG::diag_exit(1);
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

// The listing named by the output option is written to a temporary file beside it and moved into place when
// the run ends, so that a run that fails before listing anything, or that a changing input cuts short,
// leaves an earlier listing there as it was. (A device, FIFO or symbolic link is written in place.)
struct OUTPUT_FILE {
    std::string path;         // as the option names it
    std::string temporary;    // "" when written in place
    bool listed = false;      // an input has been listed in full
    bool done = false;
};
OUTPUT_FILE output_file;

// Moves the temporary listing into place; false (after a report) when that fails.
bool commit_output() {
    OUTPUT_FILE& o = output_file;
    if (o.done || o.temporary.empty()) return true;
    o.done = true;
    if (const int error = platform_replace_file(o.temporary.c_str(), o.path.c_str()); error != 0) {
        (void)platform_remove_file(o.temporary.c_str());
        user_msg_error(DIAG::user_msg_context(), "cannot write the listing to \"%s\": %s", o.path.c_str(),
                       std::strerror(error));
        return false;
    }
    return true;
}

void discard_output() {
    if (output_file.done || output_file.temporary.empty()) return;
    output_file.done = true;
    (void)platform_remove_file(output_file.temporary.c_str());
}

// At an exit before the end (a fatal error): what was listed in full stays written; a run that listed
// nothing leaves the earlier file alone.
void output_at_exit() {
    if (output_file.done || output_file.temporary.empty()) return;
    // Closed first: Windows renames no open file.
    NM_TOOL& tool = nm_tool();
    const bool written = tool.output && pfclose(tool.output) == 0;
    tool.output = nullptr;
    if (output_file.listed && written)
        (void)commit_output();
    else
        discard_output();
}

// From the fault handler, when an input shrank under its mapping: async-signal-safe removal only.
void output_at_fault() {
    if (!output_file.done && !output_file.temporary.empty()) (void)platform_remove_file(output_file.temporary.c_str());
}

// Opens the output once the first input has been taken from the command line.
PFILE* open_output() {
    PFILE* output = pfstdout();
    if (const char* path = opt_get_text(nm_tool().options, nmkite_opt::output_file, 0)) {
        // An output that is one of the inputs would be emptied before it is read.
        const NM_TOOL& tool = nm_tool();
        for (int32_t i = tool.next_index - 1; i < tool.argc; ++i) {
            const char* input = tool.argv[i];
            if (input && platform_same_file(path, input))
                user_msg_fatal(DIAG::user_msg_context(), "cannot open \"%s\" for output: it is also the input file \"%s\"\n",
                               path, input);
        }
        output_file.path = path;
        output = nullptr;
        if (platform_replaceable(path)) {
            output_file.temporary = std::string(path) + "." + std::to_string(platform_process_id()) + ".tmp";
            output = pfopen(output_file.temporary.c_str(), "w");
            if (output) {
                platform_copy_permissions(path, output_file.temporary.c_str());
                static const bool registered = std::atexit(output_at_exit) == 0;
                (void)registered;
                platform_on_mapping_fault(output_at_fault);
            } else {
                output_file.temporary.clear();  // a folder where nothing can be made: the file itself
            }
        }
        if (!output) output = pfopen(path, "w");
        if (!output) user_msg_fatal(DIAG::user_msg_context(), "cannot open \"%s\" for output\n", path);
    }
    pfpin(output, 1);
    return output;
}

void list_archive(const char* name, ar_reader* reader, NM_LISTING& listing) {
    std::fprintf(pffile(listing.output), "\nARCHIVE:  %s\n", name);
    ar_read_index(reader);
    for (const ar_member* member = ar_first_member(reader); member; member = member->next) {
        PFILE* stream = ar_member_stream(reader, member);
        // A 32-bit object reaches no further than 4 GiB into a larger member.
        const auto size = static_cast<uint32_t>(std::min<uint64_t>(member->size, 0xFFFFFFFF));
        list_object(member->name, stream, size, listing, name);
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

void list_file(const char* name, NM_LISTING& listing) {
    PFILE* input = pfopen(name, "rb");
    if (!input) user_msg_fatal(DIAG::user_msg_context(), "cannot open \"%s\" for input\n", name);
    const AT_SCOPE_END close_input([input] { pfclose(input); });
    list_input(name, input, listing);
}

// Every error the library reports while listing is printed, counted and cleared; the listing goes on.
void error_handler(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    if (message && *message) {
        if (code != OFE::OF_ERR_DEVELOPMENT)
            user_msg_error(DIAG::user_msg_context(), "%s: %s", OFE::error_text(code), message);
    } else {
        user_msg_error(DIAG::user_msg_context(), "%s: %s", OFE::error_text(OFE::OF_ERR_INTERNAL),
                       "no description available");
    }
    object->clear_error();
}

}  // namespace

NM_TOOL& nm_tool() {
    static NM_TOOL tool;
    return tool;
}

void list_input(const char* name, PFILE* input, NM_LISTING& listing) {
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
        list_archive(name, reader, listing);
    else
        list_object(name, input, 0, listing);
}

void list_object(const char* name, PFILE* input, uint32_t size, NM_LISTING& listing, const char* archive) {
    // Owned here, so that it is also released when an exit hook ends the run by unwinding (diag_exit).
    std::unique_ptr<OBJECT_FILE> object(OBJECT_FILE::open(input, size, name, nullptr, archive));
    if (!object) return;
    if (object->error_code() != OFE::OF_ERR_NONE) {
        const char* message = object->error_message();
        user_msg_error(DIAG::user_msg_context(), "%s%s%s", OFE::error_text(object->error_code()),
                       *message ? ": " : "", message);
        object.reset();
        DIAG::diag_exit(1);
    }
    object->set_error_handler(error_handler);
    dump_symbols(object.get(), listing, name);
}

void nm_archive_error(ar_reader*, int, const char* message) { user_msg_error(DIAG::user_msg_context(), "%s", message); }

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

    output_file = OUTPUT_FILE{};
    const char* first = parse_options();
    tool.output = open_output();
    NM_LISTING listing;
    listing.options = take_option_snapshot(tool.options);
    listing.output = tool.output;
    for (const char* name = first; name; name = take_next_argument()) {
        list_file(name, listing);
        output_file.listed = true;
    }
    // Nothing is lost silently: a listing that could not be written whole (a full disk) is an error, and an
    // earlier listing in its place stays as it was.
    FILE* out = pffile(tool.output);
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    const int write_error = errno;
    const bool closed = pfclose(tool.output) == 0;
    tool.output = nullptr;
    if (!written || !closed) {
        const char* where = output_file.path.empty() ? "standard output" : output_file.path.c_str();
        user_msg_error(DIAG::user_msg_context(), "cannot write the listing to \"%s\": %s", where,
                       std::strerror(written ? errno : write_error));
        discard_output();
    } else {
        (void)commit_output();
    }
    return DIAG::diag_error_count() > 0 ? 1 : 0;
}
