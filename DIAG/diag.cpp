// Diagnostics core: headers, the wrapping printer, message endings and the error counter.
#include "DIAG/diag.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace DIAG {

namespace {

const char* const severity_words[] = {"(suppressed)", "(no error)", "advice", "debug",
                                      "remark",       "warning",    "error",  "fatal error"};

int32_t error_count = 0;
diag_exit_hook exit_hook = nullptr;

}  // namespace

const char* severity_word(diag_severity severity) {
    if (severity < 0 || severity > SEV_FATAL) return "(unknown)";
    return severity_words[severity];
}

SETTINGS& settings() {
    static SETTINGS s;
    return s;
}

bool severity_shown(diag_severity severity) {
    const SETTINGS& s = settings();
    switch (severity) {
    case SEV_SUPPRESSED: return false;
    case SEV_ADVICE: return s.show_advice;
    case SEV_DEBUG: return s.show_debug;
    case SEV_REMARK: return s.show_remarks;
    case SEV_WARNING: return s.show_warnings;
    default: return true;
    }
}

FILE* stream_for(diag_severity severity) {
    if (settings().output_stream) return settings().output_stream;
    return (severity >= SEV_NO_ERROR && severity <= SEV_REMARK) || severity == SEV_SUPPRESSED ? stdout : stderr;
}

bool DIAG_SRCINFO::equals(const DIAG_SRCINFO& other) const {
    return line() == other.line() && column() == other.column() && file_name() == other.file_name();
}

DIAG_SRCINFO_DATA::DIAG_SRCINFO_DATA(std::string file, uint32_t line, uint32_t column, bool approximate)
    : file_(std::move(file)), line_(line), column_(column), approximate_(approximate) {}

DIAG_SRCINFO_DATA::DIAG_SRCINFO_DATA(const DIAG_SRCINFO& other)
    : file_(other.file_name()), line_(other.line()), column_(other.column()), approximate_(other.approximate()) {}

DIAGNOSTIC::DIAGNOSTIC(const DIAG_MSG_KIND* kind_, const char* raise_file_, uint32_t raise_line_)
    : kind(kind_), remaining(settings().diag_cols), raise_file(raise_file_), raise_line(raise_line_), started(0) {}

DIAGNOSTIC::DIAGNOSTIC(const DIAGNOSTIC& other)
    : kind(other.kind),
      remaining(settings().diag_cols),
      srcinfo(other.srcinfo ? std::make_unique<DIAG_SRCINFO_DATA>(*other.srcinfo) : nullptr),
      raise_file(other.raise_file),
      raise_line(other.raise_line),
      started(0) {}

void DIAGNOSTIC::emit() { diag_header(*this); }

bool DIAGNOSTIC::same_as(const DIAGNOSTIC& other) const {
    if (kind->code != other.kind->code) return false;
    if (!srcinfo || !other.srcinfo) return !srcinfo && !other.srcinfo;
    return srcinfo->equals(*other.srcinfo);
}

void DIAGNOSTIC::dump() const {
    std::printf("Code : %d\n", kind->code);
    std::printf("std_msg : %s\n", kind->std_msg ? kind->std_msg : "");
    std::printf("vrb_msg : %s\n", kind->vrb_msg ? kind->vrb_msg : "");
    if (srcinfo) {
        std::printf("File : %s\n", srcinfo->file_name().c_str());
        std::printf("Line : %d\n", static_cast<int>(srcinfo->line()));
        std::printf("Column: %d\n", static_cast<int>(srcinfo->column()));
    }
}

max_errors::max_errors(uint32_t limit_, const char* raise_file_, uint32_t raise_line_)
    : DIAGNOSTIC(diag_find_kind(MSG_ERROR_LIMIT), raise_file_, raise_line_), limit(limit_) {}

std::unique_ptr<DIAGNOSTIC> max_errors::clone() const { return std::make_unique<max_errors>(*this); }

void max_errors::emit() {
    diag_header(*this);
    diag_printf(*this, kind->std_msg, limit);
    diag_finish(*this);
}

namespace {

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// While a diagnostic is rendered into a text (diag_render), what it prints goes here.
std::string* rendering = nullptr;

void put(const DIAGNOSTIC& d, const char* text, size_t length) {
    if (length == 0) return;
    if (rendering)
        rendering->append(text, length);
    else
        std::fwrite(text, 1, length, stream_for(d.kind->severity));
}

// Where a line of at most n columns may end in s: the index of its last character.
long break_point(const char* s, long length, long n) {
    if (!settings().diag_wrap || n < 0 || length < n) return length - 1;
    if (n < length && is_blank(s[n])) return n > 0 ? n - 1 : 0;
    long i = n - 1;
    while (i >= 0 && !is_blank(s[i])) --i;
    if (i < 0) return 0;
    while (i >= 0 && is_blank(s[i])) --i;
    return i < 0 ? 0 : i;
}

void wrap_print(DIAGNOSTIC& d, const char* s, long length) {
    const SETTINGS& set = settings();
    if (!(set.diag_cols > set.indent + set.wrap_indent)) {
        std::fprintf(stderr, "assertion failed: diag_cols > (indent + wrap_indent)\n");
        std::abort();
    }
    const long width = set.diag_cols - set.indent - set.wrap_indent;
    long pos = 0;
    while (pos < length) {
        const char* p = s + pos;
        const long rest = length - pos;
        long b = break_point(p, rest, d.remaining);
        if (b == 0) {
            const long further = break_point(p, rest, width);
            if (further > 0) {
                diag_new_line(d);
                b = further;
            } else {
                b = std::min<long>(rest, d.remaining) - 1;
                if (b < 0) b = 0;
            }
        }
        const void* newline = std::memchr(p, '\n', static_cast<size_t>(b));
        long printed = b + 1;
        long next = b + 1;
        if (newline) {
            printed = static_cast<const char*>(newline) - p;
            next = printed + 1;
        }
        put(d, p, static_cast<size_t>(printed));
        d.remaining -= static_cast<int32_t>(printed);
        pos += next;
        while (pos < length && is_blank(s[pos])) ++pos;
        if (pos >= length) break;
        diag_new_line(d);
    }
}

}  // namespace

void diag_new_line(DIAGNOSTIC& d) {
    const SETTINGS& set = settings();
    put(d, "\n", 1);
    d.remaining = set.diag_cols - set.indent - set.wrap_indent;
    const int spaces = set.indent + set.wrap_indent;
    for (int i = 0; i < spaces; ++i) put(d, " ", 1);
}

bool vformat_text(std::string& out, const char* format, va_list args) {
    char small[256];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length < 0) {
        out.clear();
    } else if (static_cast<size_t>(length) < sizeof small) {
        out.assign(small, static_cast<size_t>(length));
    } else {
        out.assign(static_cast<size_t>(length), '\0');
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return length >= 0;
}

int diag_vprintf(DIAGNOSTIC& d, const char* format, va_list args) {
    if (!severity_shown(d.kind->severity)) return 0;
    std::string text;
    if (!vformat_text(text, format, args)) return -1;
    if (text.empty()) return 0;
    if (settings().diag_wrap && d.remaining < 1) diag_new_line(d);
    wrap_print(d, text.data(), static_cast<long>(text.size()));
    return static_cast<int>(text.size());
}

int diag_printf(DIAGNOSTIC& d, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = diag_vprintf(d, format, args);
    va_end(args);
    return length;
}

int diag_header(DIAGNOSTIC& d) {
    d.started = 1;
    const diag_severity severity = d.kind->severity;
    if (!severity_shown(severity)) return 0;
    diag_finish(d);

    SETTINGS& set = settings();
    const bool saved_wrap = set.diag_wrap;
    if (!set.wrap_header) set.diag_wrap = false;
    const bool internal = d.kind->internal != 0;
    int printed = 0;
    if (set.indent > 0) printed += diag_printf(d, "%*s", set.indent, "");
    if (set.show_raise_site || internal) printed += diag_printf(d, "%s:%u:", d.raise_file, d.raise_line);

    std::string where;
    if (d.srcinfo && !d.srcinfo->file_name().empty()) {
        where += '"';
        where += d.srcinfo->file_name();
        where += '"';
        if (d.srcinfo->line() != 0) where += ", line " + std::to_string(d.srcinfo->line());
        if (d.srcinfo->approximate()) where += " (approximate)";
    }
    if (!where.empty()) printed += diag_printf(d, "%s: ", where.c_str());

    if (!set.show_message_numbers && !internal) {
        printed += diag_printf(d, "%s: ", severity_word(severity));
    } else {
        const bool remappable = !internal && !d.kind->fixed_severity && severity < SEV_FATAL && severity != SEV_ADVICE;
        printed += diag_printf(d, "%s%s #%u%s: ", internal ? "internal " : "", severity_word(severity),
                               static_cast<unsigned>(d.kind->code), remappable ? "-D" : "");
    }
    set.diag_wrap = saved_wrap;
    return printed;
}

namespace {

// Prints line `line` of `file` and a caret under `column`; an unreadable file is passed over.
void echo_source_line(const DIAGNOSTIC& d, const std::string& file, uint32_t line, uint32_t column) {
    FILE* in = std::fopen(file.c_str(), "r");
    if (!in) return;
    std::string text;
    uint32_t current = 1;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (current == line) text.push_back(static_cast<char>(c));
        if (c == '\n' && ++current > line) break;
    }
    std::fclose(in);
    if (text.empty()) return;
    FILE* out = stream_for(d.kind->severity);
    std::fputs(text.c_str(), out);
    if (column != 0) std::fprintf(out, "%-*s^\n", static_cast<int>(column - 1), "");
}

}  // namespace

int diag_finish(DIAGNOSTIC& d) {
    const SETTINGS& set = settings();
    if (d.remaining >= set.diag_cols) return 0;
    d.remaining = set.diag_cols;
    put(d, "\n", 1);
    if (set.echo_source_line && d.srcinfo && !d.srcinfo->file_name().empty() && d.srcinfo->line() > 0 &&
        !d.srcinfo->approximate())
        echo_source_line(d, d.srcinfo->file_name(), d.srcinfo->line(), d.srcinfo->column());
    if (set.count_nothing) return 1;
    const diag_severity severity = d.kind->severity;
    if (severity >= SEV_ERROR) ++error_count;
    if (severity == SEV_FATAL) {
        std::fflush(nullptr);
        if (d.kind->internal) std::abort();
        diag_exit(1);
    }
    if (set.error_limit >= 0 && error_count > set.error_limit) {
        max_errors limit(static_cast<uint32_t>(set.error_limit), __FILE__, __LINE__);
        limit.emit();
    }
    return 1;
}

DIAG_MSG_KIND* diag_find_kind(int32_t code) {
    static const std::map<int32_t, DIAG_MSG_KIND*> index = [] {
        std::map<int32_t, DIAG_MSG_KIND*> m;
        for (DIAG_MSG_KIND* k = msg_kinds; k->code != 0; ++k) m.emplace(k->code, k);
        return m;
    }();
    const auto it = index.find(code);
    return it == index.end() ? nullptr : it->second;
}

void diag_remap_severity(diag_severity from, diag_severity to) {
    if (to == SEV_NO_ERROR || to == SEV_ADVICE || to == SEV_DEBUG) return;
    for (DIAG_MSG_KIND* k = msg_kinds; k->code != 0; ++k) {
        if (k->severity != from || k->severity == SEV_ADVICE || k->severity == SEV_FATAL) continue;
        if (k->fixed_severity || k->internal) continue;
        k->severity = to;
    }
}

std::string diag_render(DIAGNOSTIC& d) {
    std::string text;
    SETTINGS& set = settings();
    const bool saved_count_nothing = set.count_nothing;
    set.count_nothing = true;
    rendering = &text;
    d.emit();
    rendering = nullptr;
    set.count_nothing = saved_count_nothing;
    return text;
}

int32_t diag_error_count() { return error_count; }

void diag_reset_error_count() { error_count = 0; }

void diag_exit(int status) {
    std::fflush(nullptr);
    if (exit_hook) exit_hook(status);
    std::exit(status);
}

void diag_set_exit_hook(diag_exit_hook hook) { exit_hook = hook; }

}  // namespace DIAG
