// Numeric option arguments: the number syntax with its radix prefixes and suffixes, and the range check.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "options/opt_diag.h"
#include "options/opt_internal.h"

namespace {

bool is_octal_digit(char c) { return c >= '0' && c <= '7'; }

// Picks the radix of `text` and removes a radix suffix from `copy` (a copy of it).
int choose_radix(std::string& copy) {
    size_t at = (copy[0] == '+' || copy[0] == '-') ? 1 : 0;
    int radix = 10;
    if (copy[at] == '0' && (copy[at + 1] == 'x' || copy[at + 1] == 'X')) {
        radix = 16;
        at += 2;
    } else if (copy[at] == '0' && is_octal_digit(copy[at + 1])) {
        radix = 8;
    }
    bool all_octal = true;
    size_t end = at;
    for (; std::isxdigit(static_cast<unsigned char>(copy[end])); ++end)
        if (!is_octal_digit(copy[end])) all_octal = false;
    if (copy[end] == 'H' || copy[end] == 'h') {
        copy.erase(end, 1);
        radix = 16;
    } else if ((copy[end] == 'Q' || copy[end] == 'q') && all_octal) {
        copy.erase(end, 1);
        radix = 8;
    }
    return radix;
}

template <class T, class CONVERT>
T parse_number(const OPT_STATE* state, const char* text, OPT_NUMBER_STATUS* status, const char* how,
               CONVERT convert) {
    const int saved_errno = errno;
    std::string copy = text ? text : "";
    const int radix = choose_radix(copy);
    opt_trace(state, "%s: about to parse '%s' as %s, radix %d\n", copy.c_str(), how, radix);
    errno = 0;
    char* end = nullptr;
    const T value = convert(copy.c_str(), &end, radix);
    OPT_NUMBER_STATUS result;
    result.error = end == copy.c_str() || *end != '\0';
    result.overflow = errno == ERANGE;
    errno = saved_errno;
    if (status) *status = result;
    return value;
}

}  // namespace

long opt_parse_signed(const OPT_STATE* state, const char* text, OPT_NUMBER_STATUS* status) {
    return parse_number<long>(state, text, status, "signed",
                              [](const char* s, char** e, int r) { return std::strtol(s, e, r); });
}

unsigned long opt_parse_unsigned(const OPT_STATE* state, const char* text, OPT_NUMBER_STATUS* status) {
    return parse_number<unsigned long>(state, text, status, "unsigned",
                                       [](const char* s, char** e, int r) { return std::strtoul(s, e, r); });
}

long opt_check_number(OPT_STATE* state, uint32_t id, const char* text, uint32_t parm_form, OPT_RANGE range) {
    if (!text || *text == '\0') opt_missing_parameter(state, id, opt_decode_text(state->table->desc[id].param_name));
    const bool is_unsigned = parm_form == 2 || parm_form == 11;
    OPT_NUMBER_STATUS status;
    long value = 0;
    bool in_range = false;
    if (is_unsigned) {
        const unsigned long u = opt_parse_unsigned(state, text, &status);
        opt_trace(state, "%s: check 0x%lX <= 0x%lX <= 0x%lX\n", static_cast<unsigned long>(range.min), u,
                  static_cast<unsigned long>(range.max));
        in_range = static_cast<int64_t>(u) >= range.min && static_cast<int64_t>(u) <= range.max &&
                   !std::strchr(text, '-');
        value = static_cast<long>(u);
    } else {
        value = opt_parse_signed(state, text, &status);
        opt_trace(state, "%s: check %ld <= %ld <= %ld\n", static_cast<long>(range.min), value,
                  static_cast<long>(range.max));
        in_range = value >= range.min && value <= range.max;
    }
    if (!status.error && !status.overflow && in_range) return value;

    const std::string option = opt_spelled_name(state, id);
    const bool standard = is_unsigned ? range.min == OPT_UNSIGNED_RANGE.min && range.max == OPT_UNSIGNED_RANGE.max
                                      : range.min == OPT_SIGNED_RANGE.min && range.max == OPT_SIGNED_RANGE.max;
    if (!standard)
        OPT_RAISE(optgen_arg_out_of_range2, option, text, static_cast<uint32_t>(range.min),
                  static_cast<uint32_t>(range.max));
    else if (std::strchr(text, '-'))
        OPT_RAISE(optgen_arg_out_of_range_non_neg, option, text);
    else
        OPT_RAISE(optgen_arg_out_of_range, option, text);
    opt_exit_after_error();
}
