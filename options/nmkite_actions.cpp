// What nmkite does the moment some of its options are parsed.
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "options/opt_actions.h"
#include "util/platform.h"

using namespace OFE;

void nmkite_line_buffer_stderr(OPT_STATE*, uint32_t) { platform_line_buffer_stderr(); }

void nmkite_set_message_wrapping(OPT_STATE* state, uint32_t id) { opt_action_set_message_wrapping(state, id); }

void nmkite_promote_warnings(OPT_STATE*, uint32_t) { opt_action_promote_warnings(); }

void nmkite_show_version(OPT_STATE*, uint32_t) { opt_action_show_version(); }
