// Actions that every tool's option table calls the same way.
#include "options/opt_actions.h"

#include <cstdio>

#include "DIAG/diag.h"
#include "DIAG/user_msg_api.h"
#include "options/opt_engine.h"
#include "util/banner.h"

void opt_action_set_message_wrapping(OPT_STATE* state, uint32_t id) {
    const OPT_ENUM* choices = state->table->desc[id].choices;
    if (!choices || !choices[0].name || !choices[1].name) return;
    DIAG::settings().diag_wrap = opt_get_num(state, id, 0) != choices[1].value;
}

void opt_action_promote_warnings() {
    DIAG::user_msg_set_warnings_as_errors(DIAG::user_msg_context());
    DIAG::diag_remap_severity(DIAG::SEV_WARNING, DIAG::SEV_ERROR);
}

void opt_action_show_version() {
    OFE::print_build_number(stdout);
    DIAG::diag_exit(0);
}
