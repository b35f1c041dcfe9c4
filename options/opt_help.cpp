// Help and usage output built from the option tables: the full help, the help search, the help list
// and the wrapping of help texts.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DIAG/diag.h"
#include "options/opt_internal.h"
#include "util/banner.h"
#include "util/platform.h"
#include "util/str_util.h"

using namespace OFE;

namespace {

constexpr int help_columns = 79;
constexpr int list_width = 28;     // the synopsis column of the group lists
constexpr int search_width = 20;   // the synopsis column of search results
constexpr int search_indent = 26;  // where search results' help texts stand

struct HELP_ENTRY {
    std::string synopsis;
    std::string help;
    int32_t key;
};

// The one help list being built.
struct HELP_LIST {
    std::string heading;
    int width = list_width;
    int sort_mode = 3;
    std::vector<HELP_ENTRY> entries;
    size_t longest = 0;
};

HELP_LIST& help_list() {
    static HELP_LIST list;
    return list;
}

const char* without_dashes(const std::string& synopsis) {
    const char* s = synopsis.c_str();
    while (*s == '-') ++s;
    return s;
}

bool sorts_before(const HELP_ENTRY& a, const HELP_ENTRY& b, int mode) {
    if (mode == 3 && a.key != b.key) return a.key > b.key;
    return std::strcmp(without_dashes(a.synopsis), without_dashes(b.synopsis)) < 0;
}

bool is_hidden(const OPT_DESC& desc) { return desc.hidden || desc.hidden_internal; }

// The program name without its directory, or the table's name when the command line gave none.
std::string tool_name(const OPT_STATE* state) {
    if (!state->tool_name) return opt_decode_text(state->table->tool_name);
    return platform_program_name(state->tool_name);
}

// One list of the full help: every option that `pick` selects, keyed by what it returns.
template <class PICK>
void print_list(const OPT_STATE* state, const std::string& heading, PICK pick) {
    help_list_begin(heading.c_str(), list_width, 3);
    for (uint32_t id = 0; id < state->table->count; ++id) {
        const OPT_DESC& desc = state->table->desc[id];
        int32_t key = 0;
        if (is_hidden(desc) || !pick(desc, &key)) continue;
        const std::string synopsis = opt_synopsis(state, id, nullptr);
        help_list_add(synopsis.c_str(), opt_decode_text(desc.short_help), key);
    }
    if (help_list_print(true, 0)) std::printf("\n");
}

void print_full_help(const OPT_STATE* state) {
    const std::string tool = tool_name(state);
    print_banner(stdout);
    std::printf("\nUsage: %s [-options] filename\n\n", tool.c_str());
    std::printf("Use '%s -h <option>' for more information on a particular option.  Use\n", tool.c_str());
    std::printf("'%s -h <text>' to search options for information regarding <text>.\n\n", tool.c_str());
    std::printf("Option arguments surrounded by [] declare they are optional.  Option arguments\n"
                "separated by commas specify that the option's argument must be chosen from\n"
                "those arguments listed.\n\n"
                "When shown, option arguments and defaults apply to the usage of both long and\n"
                "short option forms.\n\n");
    print_list(state, "Basic Options:", [](const OPT_DESC& desc, int32_t* key) {
        *key = static_cast<int32_t>(desc.basic_key);
        return desc.basic_key != 0;
    });
    for (uint32_t group = 0; group < 2; ++group) {
        print_list(state, opt_decode_text(state->table->group_headings[group]),
                   [group](const OPT_DESC& desc, int32_t* key) {
                       *key = static_cast<int32_t>(desc.help_key);
                       return desc.group == group;
                   });
    }
}

bool option_matches(const OPT_DESC& desc, const char* search) {
    const size_t k = std::strlen(search);
    const std::string short_help = opt_decode_text(desc.short_help);
    const std::string long_help = opt_decode_text(desc.long_help);
    if (str_casestr(short_help.c_str(), search) || str_casestr(long_help.c_str(), search)) return true;
    for (size_t i = 0; i < 10 && desc.names[i]; ++i)
        if (str_ncasecmp(opt_decode_text(desc.names[i]), search, k) == 0) return true;
    return false;
}

bool search_help(const OPT_STATE* state, const char* search) {
    const std::string indent(search_indent, ' ');
    bool any = false;
    for (uint32_t id = 0; id < state->table->count; ++id) {
        const OPT_DESC& desc = state->table->desc[id];
        if (desc.group == OPT_GROUP_END) break;
        if (is_hidden(desc) || !option_matches(desc, search)) continue;
        any = true;
        const std::string synopsis = opt_synopsis(state, id, nullptr);
        std::printf("  %-*s ", search_width, synopsis.c_str());
        if (synopsis.size() > static_cast<size_t>(search_width)) std::printf("\n  %-*s ", search_width, " ");
        std::printf("   ");  // the two hiding marks, blank for a listed option, and a separator
        std::string text = opt_decode_text(desc.long_help);
        if (text.empty()) text = opt_decode_text(desc.short_help);
        help_wrap(stdout, text.c_str(), indent.c_str());
    }
    if (!any) std::printf(">> Help: No options match the string '%s'\n", search);
    return any;
}

}  // namespace

bool opt_help(OPT_STATE* state, const char* search, bool return_flag) {
    if (!search || *search == '\0') {
        print_full_help(state);
        return true;
    }
    const bool any = search_help(state, search);
    if (!return_flag) DIAG::diag_exit(0);
    return any;
}

const char* opt_synopsis(const OPT_STATE* state, uint32_t id, const char* skip_name) {
    static std::string synopsis;
    synopsis.clear();
    if (!opt_valid_id(state, id)) return synopsis.c_str();
    const OPT_DESC& desc = state->table->desc[id];
    for (size_t i = 0; i < 10 && desc.names[i]; ++i) {
        const std::string name = opt_decode_text(desc.names[i]);
        if (i > 0 && skip_name && name == skip_name) continue;
        if (!synopsis.empty()) synopsis += ",";
        synopsis += name;
    }
    const std::string param = opt_decode_text(desc.param_name);
    if (!param.empty()) {
        if (desc.param_optional) synopsis += "[";
        synopsis += "=" + param;
        if (desc.param_optional) synopsis += "]";
    }
    return synopsis.c_str();
}

void help_list_begin(const char* heading, int width, int sort_mode) {
    HELP_LIST& list = help_list();
    list.heading = heading ? heading : "";
    list.width = width;
    list.sort_mode = sort_mode;
    list.entries.clear();
    list.longest = 0;
}

void help_list_add(const char* synopsis, const char* help, int32_t key) {
    HELP_LIST& list = help_list();
    HELP_ENTRY entry{synopsis ? synopsis : "", help ? help : "", key};
    if (!entry.help.empty())
        entry.help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(entry.help[0])));
    if (entry.synopsis.size() > list.longest) list.longest = entry.synopsis.size();
    auto at = list.entries.end();
    if (list.sort_mode != 2) {
        for (at = list.entries.begin(); at != list.entries.end(); ++at)
            if (sorts_before(entry, *at, list.sort_mode)) break;
    }
    list.entries.insert(at, std::move(entry));
}

bool help_list_print(bool long_names, int extra_indent) {
    const HELP_LIST& list = help_list();
    const std::string lead(static_cast<size_t>(2 + extra_indent), ' ');
    const std::string indent(static_cast<size_t>(list.width + 3 + extra_indent), ' ');
    std::printf("%s\n", list.heading.c_str());
    for (const HELP_ENTRY& entry : list.entries) {
        if (long_names && entry.synopsis.size() > static_cast<size_t>(list.width))
            std::printf("%s%s\n%s", lead.c_str(), entry.synopsis.c_str(), indent.c_str());
        else
            std::printf("%s%-*.*s ", lead.c_str(), list.width, list.width, entry.synopsis.c_str());
        help_wrap(stdout, entry.help.c_str(), indent.c_str());
    }
    return true;
}

void help_wrap(FILE* stream, const char* text, const char* indent) {
    if (!text || *text == '\0') {
        std::fputc('\n', stream);
        return;
    }
    const size_t n = std::strlen(indent);
    const size_t width = n < help_columns ? help_columns - n : 1;
    const char* start = text;
    size_t limit = width;  // the first line holds `width` characters
    for (;;) {
        const size_t length = std::strlen(start);
        // Look back from the limit for a blank, a newline or the end of the text.
        const char* cut = nullptr;
        for (size_t i = std::min(limit, length) + 1; i-- > 1;) {
            const char c = start[i];
            if (c == ' ' || c == '\n' || c == '\0') {
                cut = start + i;
                break;
            }
        }
        if (cut) {
            if (const void* newline = std::memchr(start, '\n', static_cast<size_t>(cut - start)))
                cut = static_cast<const char*>(newline);
        } else {
            // No break fits: the word runs on to the next blank or the end.
            cut = start + limit;
            while (*cut != '\0' && *cut != ' ' && *cut != '\n') ++cut;
        }
        std::fwrite(start, 1, static_cast<size_t>(cut - start), stream);
        if (*cut == '\n') std::fputc('\n', stream);
        if (*cut == '\0' || cut[1] == '\0') break;
        std::fprintf(stream, "\n%*s", static_cast<int>(n + 1), "");
        start = cut + 1;
        limit = width - 1;  // later lines end within `width` characters of the previous break
    }
    std::fputc('\n', stream);
}
