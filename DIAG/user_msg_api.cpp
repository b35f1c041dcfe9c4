// The user message calls: format the text, wrap it in its diagnostic class and print it.
#include "DIAG/user_msg_api.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace DIAG {

user_message::user_message(int32_t code, std::string text_, bool parenthesised_, const char* raise_file_,
                           uint32_t raise_line_)
    : DIAGNOSTIC(diag_find_kind(code), raise_file_, raise_line_),
      text(std::move(text_)),
      parenthesised(parenthesised_) {}

std::unique_ptr<DIAGNOSTIC> user_message::clone() const { return std::make_unique<user_message>(*this); }

void user_message::emit() {
    diag_header(*this);
    diag_printf(*this, parenthesised ? "(%s)" : kind->std_msg, text.c_str());
    diag_finish(*this);
}

namespace {

std::string format_text(const char* format, va_list args) {
    std::string text;
    (void)vformat_text(text, format, args);
    return text;
}

template <class KIND>
void raise(std::string text, const char* file, uint32_t line) {
    KIND message(std::move(text), file, line);
    message.emit();
}

}  // namespace

USER_MSG_CONTEXT* user_msg_context() {
    static USER_MSG_CONTEXT context;
    return &context;
}

void user_msg_set_warnings_as_errors(USER_MSG_CONTEXT* ctx) { ctx->warnings_as_errors = true; }

void user_msg_remark(USER_MSG_CONTEXT*, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    raise<DIAG::gremark>(std::move(text), __FILE__, __LINE__);
}

void user_msg_warning(USER_MSG_CONTEXT* ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    if (ctx && ctx->warnings_as_errors)
        raise<DIAG::gerror>(std::move(text), __FILE__, __LINE__);
    else
        raise<DIAG::gwarning>(std::move(text), __FILE__, __LINE__);
}

void user_msg_error(USER_MSG_CONTEXT*, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    raise<DIAG::gerror>(std::move(text), __FILE__, __LINE__);
}

void user_msg_apperror(USER_MSG_CONTEXT*, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    raise<DIAG::gapperror>(std::move(text), __FILE__, __LINE__);
}

void user_msg_fatal(USER_MSG_CONTEXT*, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    raise<DIAG::gfatal>(std::move(text), __FILE__, __LINE__);
    // Only reached when the diagnostics count nothing: a fatal error still ends the program.
    diag_exit(1);
}

void user_msg_die(USER_MSG_CONTEXT*, const char* where, const char* format, ...) {
    const std::string joined = std::string(where ? where : "") + ": " + format;
    va_list args;
    va_start(args, format);
    std::string text = format_text(joined.c_str(), args);
    va_end(args);
    raise<DIAG::gdie>(std::move(text), __FILE__, __LINE__);
    std::fflush(nullptr);
    std::abort();
}

std::string user_msg_fatal_text(USER_MSG_CONTEXT*, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    DIAG::gfatal message(std::move(text), __FILE__, __LINE__);
    return diag_render(message);
}

}  // namespace DIAG
