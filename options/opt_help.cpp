// Help and usage output built from the option tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "options/opt_engine.h"
#include "util/banner.h"

namespace {

// The program name cut after its last "/".
const char* short_tool_name(const char* name) {
    const char* slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

void print_full_help(OPT_STATE* state) {
    const char* tool = short_tool_name(state->tool_name);
    print_banner(stdout);
    std::printf("\nUsage: %s [-options] filename\n\n", tool);
    std::printf("Use '%s -h <option>' for more information on a particular option.  Use\n", tool);
    std::printf("'%s -h <text>' to search options for information regarding <text>.\n\n", tool);
    std::printf("Option arguments surrounded by [] declare they are optional.  Option arguments\n"
                "separated by commas specify that the option's argument must be chosen from\n"
                "those arguments listed.\n\n"
                "When shown, option arguments and defaults apply to the usage of both long and\n"
                "short option forms.\n\n");
    std::printf("Basic Options:\n\n");
}

}  // namespace

bool opt_help(OPT_STATE* state, const char* search, bool return_flag) {
    if (!search || *search == '\0') {
        print_full_help(state);
        return true;
    }
    std::printf(">> Help: No options match the string '%s'\n", search);
    if (!return_flag) {
        std::fflush(stdout);
        std::exit(0);
    }
    return false;
}
