// The user message interface: printf-like calls that print remarks, warnings, errors and fatal errors.
#pragma once

#include <memory>
#include <string>

#include "DIAG/diag.h"

namespace DIAG {

// Process-wide context of the user message calls.
struct USER_MSG_CONTEXT {
    bool warnings_as_errors = false;
};

// The context, created on first use and never released.
USER_MSG_CONTEXT* user_msg_context();
// From now on user_msg_warning reports errors.
void user_msg_set_warnings_as_errors(USER_MSG_CONTEXT* ctx);

void user_msg_remark(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);
// A warning, or an error when the context says warnings are errors.
void user_msg_warning(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);
// An error: printed and counted; the program goes on.
void user_msg_error(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);
// A broken internal assumption: printed with the raise site, counted; the program goes on.
void user_msg_apperror(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);
// A fatal error: printed, then the program exits with status 1.
[[noreturn]] void user_msg_fatal(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);
// An internal fatal error naming the failing operation `where`: printed, then the program aborts.
[[noreturn]] void user_msg_die(USER_MSG_CONTEXT* ctx, const char* where, const char* format, ...)
    DIAG_PRINTF(3, 4);
// The text that user_msg_fatal would print, made now and printed later by code that may not format
// (a signal handler), which then ends the program itself.
std::string user_msg_fatal_text(USER_MSG_CONTEXT* ctx, const char* format, ...) DIAG_PRINTF(2, 3);

// A diagnostic of the user message interface: its kind plus the already formatted text.
class user_message : public DIAGNOSTIC {
public:
    user_message(int32_t code, std::string text, bool parenthesised, const char* raise_file, uint32_t raise_line);
    std::unique_ptr<DIAGNOSTIC> clone() const override;
    void emit() override;

    std::string text;
    bool parenthesised;  // printed through "(%s)" rather than the kind's own format
};

class gremark final : public user_message {
public:
    gremark(std::string t, const char* f, uint32_t l) : user_message(MSG_GREMARK, std::move(t), false, f, l) {}
};
class gwarning final : public user_message {
public:
    gwarning(std::string t, const char* f, uint32_t l) : user_message(MSG_GWARNING, std::move(t), false, f, l) {}
};
class gerror final : public user_message {
public:
    gerror(std::string t, const char* f, uint32_t l) : user_message(MSG_GERROR, std::move(t), false, f, l) {}
};
class gapperror final : public user_message {
public:
    gapperror(std::string t, const char* f, uint32_t l) : user_message(MSG_GAPPERROR, std::move(t), true, f, l) {}
};
class gfatal final : public user_message {
public:
    gfatal(std::string t, const char* f, uint32_t l) : user_message(MSG_GFATAL, std::move(t), false, f, l) {}
};
class gdie final : public user_message {
public:
    gdie(std::string t, const char* f, uint32_t l) : user_message(MSG_GDIE, std::move(t), true, f, l) {}
};

}  // namespace DIAG
