// What the parts of the option engine share among themselves: tracing, names and the fatal endings.
#pragma once

#include <cstdio>
#include <string>

#include "options/opt_engine.h"

// True when `id` names an option of the state's table.
inline bool opt_valid_id(const OPT_STATE* state, uint32_t id) { return state && id < state->table->count; }

// Prints one option-debug trace line to standard output when debugging is on. The format's first "%s"
// takes the table's trace prefix; `args` fill the rest.
template <class... ARGS>
void opt_trace(const OPT_STATE* state, const char* format, ARGS... args) {
    if (state && state->option_debug) std::printf(format, state->table->trace_prefix, args...);
}

// The decoded primary name, as trace lines name an option.
std::string opt_primary_name(const OPT_STATE* state, uint32_t id);

// Reports that option `id` lacks its parameter and ends the program with status 1.
[[noreturn]] void opt_missing_parameter(OPT_STATE* state, uint32_t id, const char* param_name);

// Ends the program with status 1 after an option error was reported.
[[noreturn]] void opt_exit_after_error();
