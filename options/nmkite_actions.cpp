// What nmkite does the moment some of its options are parsed.
#include <cstdio>
#include <cstdlib>

#include "DIAG/diag.h"
#include "DIAG/user_msg_api.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "util/banner.h"
#include "util/platform.h"

using namespace OFE;

void nmkite_line_buffer_stderr(OPT_STATE*, uint32_t) { platform_line_buffer_stderr(); }

// The second choice of the option switches wrapping off; the first switches it back on.
void nmkite_set_message_wrapping(OPT_STATE* state, uint32_t id) {
    const OPT_ENUM* choices = state->table->desc[id].choices;
    if (!choices || !choices[0].name || !choices[1].name) return;
    DIAG::settings().diag_wrap = opt_get_num(state, id, 0) != choices[1].value;
}

void nmkite_promote_warnings(OPT_STATE*, uint32_t) {
    user_msg_set_warnings_as_errors(DIAG::user_msg_context());
    DIAG::diag_remap_severity(DIAG::SEV_WARNING, DIAG::SEV_ERROR);
}

void nmkite_show_version(OPT_STATE*, uint32_t) {
    print_build_number(stdout);
    DIAG::diag_exit(0);
}
