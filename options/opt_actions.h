// Actions that every tool's option table calls the same way: message wrapping, warnings as errors and
// the version banner. Each tool's generated table names its own action, which calls one of these.
#pragma once

#include <cstdint>

struct OPT_STATE;

// The second choice of option `id` switches wrapping off; the first switches it back on.
void opt_action_set_message_wrapping(OPT_STATE* state, uint32_t id);
// Warnings are reported, and counted, as errors.
void opt_action_promote_warnings();
// Prints the banner with the build number and ends the run with status 0.
[[noreturn]] void opt_action_show_version();
