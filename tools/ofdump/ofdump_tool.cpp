// The entry of the object-file dumper: the options, the loop over input files and the members of archives.
#include "tools/ofdump/ofdump_tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DIAG/user_msg_api.h"
#include "archive/ar_reader.h"
#include "ofe/object_file.h"
#include "ofe/of_xml_writer.h"
#include "options/GENERATED_ofdump_MSYS/optobj.h"
#include "util/banner.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

const char* take_next_argument() {
    OFDUMP_TOOL& tool = ofdump_tool();
    if (tool.next_index >= tool.argc) return nullptr;
    return tool.argv[tool.next_index++];
}

// Diagnostics follow what was dumped before them.
DIAG::USER_MSG_CONTEXT* messages() {
    std::fflush(stdout);
    return DIAG::user_msg_context();
}

[[noreturn]] void usage_and_exit() {
    (void)opt_help(ofdump_tool().options, nullptr, true);
    std::fflush(stdout);
    std::exit(1);
}

// Consumes the option words; returns the first input file name. "--" ends the options, so that a file
// name may start with "-". An option word the table does not know ends the run.
const char* parse_options() {
    OFDUMP_TOOL& tool = ofdump_tool();
    for (;;) {
        const char* word = take_next_argument();
        if (!word) usage_and_exit();
        if (std::strcmp(word, "--") == 0) {
            word = take_next_argument();
            if (!word) usage_and_exit();
            return word;
        }
        if (word[0] != '-') return word;
        if (word[1] == '\0' || !opt_parse_arg(tool.options, word + 1, nullptr)) {
            user_msg_error(messages(), "unknown option \"%s\" (-h lists the options)", word);
            std::exit(1);
        }
    }
}

// The settings the parsed options ask for; an unknown category ends the run.
OFDUMP_SETTINGS read_settings(OPT_STATE* options) {
    OFDUMP_SETTINGS settings;
    settings.raw_data = opt_is_set(options, ofdump_opt::raw_data);
    settings.xml = opt_is_set(options, ofdump_opt::xml);
    settings.detailed = !opt_is_set(options, ofdump_opt::compact);
    const auto categories = OBJECT_FILE::dump_categories();
    for (uint32_t i = 0; const char* list = opt_get_text(options, ofdump_opt::only, i); ++i) {
        const std::string text = list;
        for (size_t at = 0; at <= text.size();) {
            const size_t end = std::min(text.find(',', at), text.size());
            const std::string name = text.substr(at, end - at);
            const auto is_named = [&name](const OF_DUMP_CATEGORY& c) { return name == c.name; };
            if (std::none_of(categories.begin(), categories.end(), is_named)) {
                std::string known;
                for (const OF_DUMP_CATEGORY& c : categories) known += std::string(known.empty() ? "" : ", ") + c.name;
                user_msg_error(messages(), "unknown dump category \"%s\"; the categories are %s", name.c_str(),
                               known.c_str());
                std::exit(1);
            }
            settings.only.push_back(name);
            at = end + 1;
        }
    }
    return settings;
}

void archive_error(ar_reader*, int, const char* message) { user_msg_error(messages(), "%s", message); }

void dump_archive(const char* name, ar_reader* reader) {
    OFDUMP_TOOL& tool = ofdump_tool();
    if (tool.xml)
        tool.xml->open("archive").attribute("name", name);
    else
        std::printf("\nARCHIVE:  %s\n", name);
    ar_read_index(reader);
    for (const ar_member* member = ar_first_member(reader); member; member = member->next) {
        if (!tool.xml) std::printf("\nMEMBER:  %s(%s)\n", name, member->name);
        PFILE* stream = ar_member_stream(reader, member);
        // A 32-bit object reaches no further than 4 GiB into a larger member.
        const auto size = static_cast<uint32_t>(std::min<uint64_t>(member->size, 0xFFFFFFFF));
        if (dump_object(member->name, stream, size, name)) continue;
        // A member of another kind (a text file, say) is named, and passed over.
        if (tool.xml)
            tool.xml->open("member").attribute("name", member->name).attribute("length", size).attribute(
                "format", "unknown").close();
        else
            std::printf("\n (not an ELF or QXCOFF object file)\n");
    }
    if (tool.xml) tool.xml->close();
}

void dump_file(const char* name) {
    OFDUMP_TOOL& tool = ofdump_tool();
    PFILE* input = pfopen(name, "rb");
    if (!input) {
        user_msg_error(messages(), "cannot open \"%s\" for input", name);
        return;
    }
    ar_reader* reader = ar_open(name, input, archive_error);
    if (ar_is_archive(reader)) {
        dump_archive(name, reader);
    } else {
        (void)pfseeko(pffile(input), 0, SEEK_SET);
        if (tool.file_headings && !tool.xml) std::printf("\nFILE:  %s\n", name);
        if (!dump_object(name, input, 0))
            user_msg_error(messages(), "\"%s\" is neither an ELF or QXCOFF object file nor an archive", name);
    }
    ar_close(reader);
    pfclose(input);
}

// Ends the XML document, also when a fatal error (the error limit, say) ends the run before its end, so
// that what was written stays a well-formed document.
void close_document() {
    OFDUMP_TOOL& tool = ofdump_tool();
    delete tool.xml;
    tool.xml = nullptr;
}

}  // namespace

OFDUMP_TOOL& ofdump_tool() {
    static OFDUMP_TOOL tool;
    return tool;
}

int ofdump_main(int argc, char** argv) {
    set_banner_title("Object File Dumper");
    OFDUMP_TOOL& tool = ofdump_tool();
    tool = OFDUMP_TOOL{};
    tool.argc = argc;
    tool.argv = argv;
    tool.options = new OPT_STATE(&ofdump_option_table);  // lives for the whole run
    if (argc > 0 && argv[0]) tool.options->tool_name = argv[0];
    opt_set_next_argument(take_next_argument);

    const char* first = parse_options();
    tool.settings = read_settings(tool.options);
    tool.file_headings = tool.next_index < tool.argc;  // a second file follows the first
    if (tool.settings.xml) {
        tool.xml = new OF_XML_WRITER(stdout);
        tool.xml->open("object_files");
        static const bool registered = std::atexit(close_document) == 0;
        (void)registered;
    }
    for (const char* name = first; name; name = take_next_argument()) dump_file(name);
    close_document();

    // Nothing is lost silently: a dump that could not be written whole (a full disk) is an error.
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int write_error = errno;
    if (!written)
        user_msg_error(DIAG::user_msg_context(), "cannot write the dump to standard output: %s",
                       std::strerror(write_error));
    return DIAG::diag_error_count() > 0 ? 1 : 0;
}
