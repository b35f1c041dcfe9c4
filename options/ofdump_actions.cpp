// What ofdump does the moment some of its options are parsed.
#include "options/GENERATED_ofdump_MSYS/optobj.h"
#include "options/opt_actions.h"


void ofdump_set_message_wrapping(OPT_STATE* state, uint32_t id) { opt_action_set_message_wrapping(state, id); }

void ofdump_promote_warnings(OPT_STATE*, uint32_t) { opt_action_promote_warnings(); }

void ofdump_show_version(OPT_STATE*, uint32_t) { opt_action_show_version(); }
