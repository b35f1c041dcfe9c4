// The option engine's parsing and argument storage.
#include "options/opt_engine.h"

namespace {

OPT_NEXT_ARGUMENT next_argument_hook = nullptr;

}  // namespace

void opt_set_next_argument(OPT_NEXT_ARGUMENT hook) { next_argument_hook = hook; }

const char* next_argument() { return next_argument_hook ? next_argument_hook() : nullptr; }

int opt_parse_arg(OPT_STATE*, const char* text, const char** out_pos) {
    // No option is known yet: an empty word is consumed, anything else is unknown.
    if (*text == '\0') return 1;
    if (out_pos) *out_pos = text;
    return 0;
}

const char* opt_get_text(OPT_STATE*, uint32_t, uint32_t) { return nullptr; }

long opt_get_num(OPT_STATE*, uint32_t, uint32_t) { return 0; }
