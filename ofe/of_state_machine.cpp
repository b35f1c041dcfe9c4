// Lifecycle checks and state changes.
#include "ofe/of_state_machine.h"

#include <algorithm>

#include "ofe/object_file.h"

namespace OFE {

const char* state_name(int32_t state) {
    static const char* const names[] = {"open", "locked", "formatted", "saved"};
    return state >= 0 && state <= 3 ? names[state] : "unknown";
}

int32_t OF_STATE_MACHINE::on_progress(int32_t) { return 0; }
int32_t OF_STATE_MACHINE::on_revert(int32_t) { return 0; }

int32_t OF_STATE_MACHINE::effective_state() const {
    if (!owner_ || owner_ == this) return state_;
    return std::max(state_, owner_->state());
}

int OF_STATE_MACHINE::require_at_most_state(int32_t s) {
    if (state_ <= s) return 0;
    owner_->report_error(OF_ERR_ILLEGAL_OPERATION,
                         "this OBJECT_FILE object is currently in the %s state, and must be in at most the %s state "
                         "to perform the requested operation ",
                         state_name(state_), state_name(s));
    return -1;
}

int OF_STATE_MACHINE::require_at_least_state(int32_t s) {
    if (state_ >= s) return 0;
    owner_->report_error(OF_ERR_ILLEGAL_OPERATION,
                         "this OBJECT_FILE object is currently in the %s state, and must be in at least the %s state "
                         "to perform the requested operation ",
                         state_name(state_), state_name(s));
    return -1;
}

int OF_STATE_MACHINE::progress_to_state(int32_t s) {
    if (state_ == s) return 0;
    if (state_ > s) {
        owner_->report_error(OF_ERR_ILLEGAL_OPERATION,
                             "this OBJECT_FILE object is currently in the %s state, and cannot revert to the %s state "
                             "to perform the requested operation ",
                             state_name(state_), state_name(s));
        return -1;
    }
    for (int32_t k = state_ + 1; k <= s; ++k) {
        if (on_progress(k) != 0) {
            owner_->report_error(OF_ERR_INTERNAL,
                                 "an error was encountered while progressing an OBJECT_FILE object from the %s to the "
                                 "%s state",
                                 state_name(k - 1), state_name(k));
            return -1;
        }
    }
    state_ = s;
    return 0;
}

int OF_STATE_MACHINE::revert_to_state(int32_t s) {
    if (state_ == s) return 0;
    if (state_ < s) return require_at_least_state(s);
    if (on_revert(s) != 0) {
        owner_->report_error(OF_ERR_INTERNAL,
                             "an error was encountered while reverting an OBJECT_FILE object from the %s to the %s "
                             "state",
                             state_name(state_), state_name(s));
        return -1;
    }
    state_ = s;
    return 0;
}

}  // namespace OFE
