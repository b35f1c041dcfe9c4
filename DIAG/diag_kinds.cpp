// The table of message kinds that this program raises.
#include "DIAG/diag.h"

namespace DIAG {

DIAG_MSG_KIND msg_kinds[] = {
    {24002, "option %s conflicts with previous option %s", nullptr, SEV_ERROR, 0, 0},
    {24003, "option %s overrides preceding option %s", nullptr, SEV_WARNING, 0, 0},
    {24004, "option %s clears preceding option %s", nullptr, SEV_REMARK, 0, 0},
    {24007, "unhandled clause in setarg() [%u]", nullptr, SEV_FATAL, 0, 0},
    {24008, "unhandled option handler [%u]", nullptr, SEV_FATAL, 0, 0},
    {24009, "list handler for non-list option [%u]", nullptr, SEV_FATAL, 0, 0},
    {24010, "option %s is missing its parameter '%s'", nullptr, SEV_ERROR, 0, 0},
    {24011, "argument to option %s (%s) is out of range", nullptr, SEV_ERROR, 0, 0},
    {24012, "argument to option %s (%s) is out of range (must be a non-negative_number)", nullptr, SEV_ERROR, 0,
     0},
    {24013, "argument to option %s (%s) is out of range (must be a number from %u to %u", nullptr, SEV_ERROR, 0,
     0},
    {24014, "corruption in option handler", nullptr, SEV_FATAL, 0, 0},
    {24015, "bad argument to option %s: should be one of {%s}", nullptr, SEV_ERROR, 0, 0},
    {24031, "unhandled clause in add_to_history() [%u]", nullptr, SEV_FATAL, 0, 0},
    {MSG_ERROR_LIMIT, "error limit reached; %u errors detected", nullptr, SEV_FATAL, 0, 0},
    {MSG_GREMARK, "%s", nullptr, SEV_REMARK, 0, 1},
    {MSG_GWARNING, "%s", nullptr, SEV_WARNING, 0, 1},
    {MSG_GERROR, "%s", nullptr, SEV_ERROR, 0, 1},
    {MSG_GAPPERROR, "%s", nullptr, SEV_ERROR, 1, 1},
    {MSG_GFATAL, "%s", nullptr, SEV_FATAL, 0, 1},
    {MSG_GDIE, "%s", nullptr, SEV_FATAL, 1, 1},
    {0, nullptr, nullptr, 0, 0, 0},
};

}  // namespace DIAG
