// Diagnostics core: message kinds, DIAGNOSTIC objects, headers, wrapping and error counting.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#if defined(__MINGW_PRINTF_FORMAT)
// MinGW formats with its own C99 printf, whose conversions (%zu, %lld) the system archetype lacks.
#define DIAG_PRINTF(fmt_index, first_arg) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt_index, first_arg)))
#elif defined(__GNUC__) || defined(__clang__)
#define DIAG_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define DIAG_PRINTF(fmt_index, first_arg)
#endif

namespace DIAG {

// Severities; the values are fixed because tables and remapping refer to them by number.
using diag_severity = int32_t;
inline constexpr diag_severity SEV_SUPPRESSED = 0;
inline constexpr diag_severity SEV_NO_ERROR = 1;
inline constexpr diag_severity SEV_ADVICE = 2;
inline constexpr diag_severity SEV_DEBUG = 3;
inline constexpr diag_severity SEV_REMARK = 4;
inline constexpr diag_severity SEV_WARNING = 5;
inline constexpr diag_severity SEV_ERROR = 6;
inline constexpr diag_severity SEV_FATAL = 7;

// The word printed for a severity ("(unknown)" outside 0..7).
const char* severity_word(diag_severity severity);

// One kind of message. The table of all kinds ends with a record whose code is 0.
struct DIAG_MSG_KIND {
    int32_t code;
    const char* std_msg;
    const char* vrb_msg;
    diag_severity severity;
    uint8_t internal;
    uint8_t fixed_severity;
};

// The program's message kinds (writable: severities may be remapped at run time).
extern DIAG_MSG_KIND msg_kinds[];

// Codes of the kinds raised outside the option engine.
inline constexpr int32_t MSG_ERROR_LIMIT = 99900;
inline constexpr int32_t MSG_GREMARK = 99921;
inline constexpr int32_t MSG_GWARNING = 99922;
inline constexpr int32_t MSG_GERROR = 99923;
inline constexpr int32_t MSG_GAPPERROR = 99924;
inline constexpr int32_t MSG_GFATAL = 99925;
inline constexpr int32_t MSG_GDIE = 99926;

// A position in a source text that a diagnostic may refer to.
class DIAG_SRCINFO {
public:
    virtual std::string file_name() const = 0;
    virtual uint32_t line() const = 0;    // 0 = unknown
    virtual uint32_t column() const = 0;  // 0 = unknown
    virtual bool approximate() const = 0;
    virtual ~DIAG_SRCINFO() = default;
    bool equals(const DIAG_SRCINFO& other) const;
};

// The concrete source position: a copy of the four values.
class DIAG_SRCINFO_DATA final : public DIAG_SRCINFO {
public:
    DIAG_SRCINFO_DATA(std::string file, uint32_t line, uint32_t column, bool approximate);
    explicit DIAG_SRCINFO_DATA(const DIAG_SRCINFO& other);
    std::string file_name() const override { return file_; }
    uint32_t line() const override { return line_; }
    uint32_t column() const override { return column_; }
    bool approximate() const override { return approximate_; }

private:
    std::string file_;
    uint32_t line_;
    uint32_t column_;
    bool approximate_;
};

// One message being printed. Subclasses hold the values their text needs and print it in emit().
class DIAGNOSTIC {
public:
    DIAGNOSTIC(const DIAG_MSG_KIND* kind, const char* raise_file, uint32_t raise_line);
    DIAGNOSTIC(const DIAGNOSTIC& other);
    DIAGNOSTIC& operator=(const DIAGNOSTIC&) = delete;
    virtual ~DIAGNOSTIC() = default;

    virtual std::unique_ptr<DIAGNOSTIC> clone() const = 0;
    // Prints the whole message; the base prints only the header.
    virtual void emit();
    // Answers false in every class of this program.
    virtual bool is_deferred() const { return false; }
    // True when both have the same code and equal source positions.
    virtual bool same_as(const DIAGNOSTIC& other) const;
    // Called before a message is raised; does nothing in this program.
    virtual void on_raise() {}
    // Prints the fields to standard output, one per line.
    virtual void dump() const;

    const DIAG_MSG_KIND* kind;
    int32_t remaining;
    std::unique_ptr<DIAG_SRCINFO> srcinfo;
    const char* raise_file;
    uint32_t raise_line;
    int32_t started;
};

// Process-wide settings of the diagnostics library.
struct SETTINGS {
    int diag_cols = 79;
    int indent = 0;
    int wrap_indent = 3;
    bool diag_wrap = true;
    int error_limit = 100;
    bool show_warnings = true;
    bool show_remarks = false;
    bool show_debug = false;
    bool show_advice = false;
    bool show_message_numbers = false;
    bool show_raise_site = false;
    bool wrap_header = false;
    bool echo_source_line = false;
    bool count_nothing = false;
    FILE* output_stream = nullptr;  // when set, every diagnostic goes here
};
SETTINGS& settings();

// True when a diagnostic of this severity prints anything under the current settings.
bool severity_shown(diag_severity severity);
// The stream a diagnostic of this severity goes to.
FILE* stream_for(diag_severity severity);

// The error limit's message: "error limit reached; %u errors detected".
class max_errors final : public DIAGNOSTIC {
public:
    max_errors(uint32_t limit, const char* raise_file, uint32_t raise_line);
    std::unique_ptr<DIAGNOSTIC> clone() const override;
    void emit() override;
    uint32_t limit;
};

// printf into a new string of exactly the formatted length; false (and an empty string) when the format
// fails. Every formatting of the libraries goes through here.
bool vformat_text(std::string& out, const char* format, va_list args);

// Prints the header of d; returns the number of characters printed.
int diag_header(DIAG::DIAGNOSTIC& d);
// Formats with printf rules and prints through the wrapping algorithm; returns the formatted length.
int diag_printf(DIAG::DIAGNOSTIC& d, const char* format, ...) DIAG_PRINTF(2, 3);
int diag_vprintf(DIAG::DIAGNOSTIC& d, const char* format, va_list args);
// Ends the message: newline, error counting, fatal exits and the error limit. Returns the newline's length.
int diag_finish(DIAG::DIAGNOSTIC& d);
// Starts a continuation line.
void diag_new_line(DIAG::DIAGNOSTIC& d);
// The kind with this code, or null.
DIAG::DIAG_MSG_KIND* diag_find_kind(int32_t code);
// Moves every remappable kind of severity `from` to `to`.
void diag_remap_severity(DIAG::diag_severity from, DIAG::diag_severity to);
// The number of errors counted so far.
int32_t diag_error_count();
// Ends the program with `status`, streams flushed: every way the tool ends early goes through here (fatal
// errors, usage, help and version). It calls the exit hook when one is set, else std::exit.
[[noreturn]] void diag_exit(int status);
// A hook that ends a run of the tool in its own way, for a harness that runs the tool more than once in
// one process; it must not return (it throws or jumps). Null restores std::exit.
using diag_exit_hook = void (*)(int status);
void diag_set_exit_hook(diag_exit_hook hook);
// Test support: puts the counter back to zero.
void diag_reset_error_count();
// What emitting `d` would print (header, wrapped text, line end), without printing, counting or ending the
// program: for a report that must later be made where nothing may be formatted.
std::string diag_render(DIAGNOSTIC& d);

}  // namespace DIAG
