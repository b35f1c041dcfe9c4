// The option engine: parse-time state of the tool's options and the calls the entry uses.
#pragma once

#include <cstdint>

// The parse-time state of all options of the tool.
struct OPT_STATE {
    const char* tool_name = "<toolname>";  // for usage and help
};

// Yields the next command-line word and consumes it, or null at the end.
using OPT_NEXT_ARGUMENT = const char* (*)();
void opt_set_next_argument(OPT_NEXT_ARGUMENT hook);
const char* next_argument();

// Parses one option word (the text after its leading "-"). Returns 1 when the whole text was
// consumed, 0 on an unknown option (then *out_pos, when given, points at the offending text).
int opt_parse_arg(OPT_STATE* state, const char* text, const char** out_pos);
// The index-th value of option `id` as text; null when the option is not present.
const char* opt_get_text(OPT_STATE* state, uint32_t id, uint32_t index);
// The index-th value of option `id` as a number; 0 when the option is not present.
long opt_get_num(OPT_STATE* state, uint32_t id, uint32_t index);

// Full help without a search text; with one, the options that match it. Ends the program with
// status 0 unless `return_flag` is set; then returns whether anything was printed for a search.
bool opt_help(OPT_STATE* state, const char* search, bool return_flag);
