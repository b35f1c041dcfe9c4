// Parsing option words: matching spellings, the argument forms, enumerated choices and the handlers that
// the generated module calls for each spelling.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "options/opt_diag.h"
#include "options/opt_internal.h"
#include "util/str_util.h"

using namespace OFE;

namespace {

OPT_NEXT_ARGUMENT next_argument_hook = nullptr;

// The recovery points of nested parses; each keeps the argument that was being parsed before it.
std::vector<const char*> recovery_points;

bool takes_next_word(uint32_t form) { return form <= 5 || form == 8; }
bool is_text_form(uint32_t form) { return form == 3 || form == 4 || form == 12 || form == 13; }
bool is_enum_form(uint32_t form) { return form == 6 || form == 7 || form == 15 || form == 16; }

std::string param_name_of(const OPT_STATE* state, uint32_t id) {
    return opt_decode_text(state->table->desc[id].param_name);
}

// The longest spelling that matches the text at `at`: one-letter (and several-letter short) spellings
// by prefix, so that more of them may follow in the same word; long spellings after their "--", whole,
// or by prefix when their option takes an argument that may be attached.
const OPT_SPELLING* match_spelling(const OPT_STATE* state, const char* at, bool want_long, size_t* length) {
    const OPT_SPELLING* best = nullptr;
    size_t best_length = 0;
    for (const OPT_SPELLING* s = state->table->spellings; s && s->text; ++s) {
        const std::string name = opt_decode_text(s->text);
        const bool is_long = name.size() > 2 && name[0] == '-' && name[1] == '-';
        if (is_long != want_long || name.empty() || name[0] != '-') continue;
        const char* body = name.c_str() + (is_long ? 2 : 1);
        const size_t n = std::strlen(body);
        if (n == 0 || std::strncmp(at, body, n) != 0) continue;
        if (is_long && !s->takes_rest && at[n] != '\0') continue;
        if (n > best_length) {
            best = s;
            best_length = n;
        }
    }
    *length = best_length;
    return best;
}

// Remembers which spelling named the option and counts the parse.
void record_parse(OPT_STATE* state, uint32_t id, uint8_t spelling) {
    OPT_RECORD& record = state->options[id];
    record.spelling = spelling;
    ++record.parsed;
    opt_trace(state, "%s: Parsed option id %s/%d\n", opt_primary_name(state, id).c_str(), static_cast<int>(id));
}

// Compares `text` with the choices of option `id`, ignoring case.
int match_choice(OPT_STATE* state, uint32_t id, const char* text, int32_t* out) {
    const OPT_DESC& desc = state->table->desc[id];
    std::string listed;
    for (size_t i = 0; desc.choices && desc.choices[i].name; ++i) {
        const std::string name = opt_decode_text(desc.choices[i].name);
        if (str_casecmp(name.c_str() + 1, text) == 0) {
            if (name[0] == '*')
                std::fprintf(stderr,
                             "WARNING: argument '%s' to option '%s' is deprecated and will be removed in a future "
                             "release\n",
                             name.c_str() + 1, opt_primary_name(state, id).c_str());
            *out = desc.choices[i].value;
            return 1;
        }
        if (name[0] == '+') {
            if (!listed.empty()) listed += ",";
            listed += name.c_str() + 1;
        }
    }
    OPT_RAISE(optgen_bad_argument, opt_spelled_name(state, id), listed);
    opt_exit_after_error();
}

}  // namespace

void opt_set_next_argument(OPT_NEXT_ARGUMENT hook) { next_argument_hook = hook; }

const char* next_argument() { return next_argument_hook ? next_argument_hook() : nullptr; }

int opt_parse_arg(OPT_STATE* state, const char* text, const char** out_pos) {
    [[maybe_unused]] const char* opt = text;
    assert(opt != NULL);
    recovery_points.push_back(state->current_argument);
    state->current_argument = text;
    int result = 1;
    for (const char* p = text; *p != '\0';) {
        const bool is_long = *p == '-';
        const char* at = is_long ? p + 1 : p;
        size_t length = 0;
        const OPT_SPELLING* spelling = match_spelling(state, at, is_long, &length);
        if (!spelling) {
            if (out_pos) *out_pos = p - 1;
            result = 0;
            break;
        }
        p = spelling->handler(state, at + length);
    }
    state->current_argument = recovery_points.back();
    recovery_points.pop_back();
    return result;
}

const char* opt_get_param(OPT_STATE* state, uint32_t id, const char* rest, const char* param_name,
                          uint32_t parm_form, OPT_RANGE range) {
    if (parm_form > 17) return rest;
    if (is_enum_form(parm_form)) {
        OPT_RAISE0(optgen_option_handler_corruption);
        return nullptr;
    }
    const char* argument = nullptr;
    if (rest[0] == '=') {
        if (rest[1] == '\0') opt_missing_parameter(state, id, param_name);
        argument = rest + 1;
    } else if (rest[0] != '\0') {
        argument = rest;
    } else if (takes_next_word(parm_form)) {
        argument = next_argument();
        if (!argument) opt_missing_parameter(state, id, param_name);
    } else {
        return nullptr;
    }
    if (is_text_form(parm_form)) {
        if (argument[0] == '\0') opt_missing_parameter(state, id, param_name);
        return argument;
    }
    (void)opt_check_number(state, id, argument, parm_form, range);
    return argument;
}

int opt_parse_enum(OPT_STATE* state, uint32_t id, const char* text, uint32_t parm_form, int32_t* out) {
    const char* argument = nullptr;
    if (parm_form == 15 || parm_form == 16) {
        if (text[0] == '\0') return 0;
        if (text[0] == '=' && text[1] == '\0') opt_missing_parameter(state, id, param_name_of(state, id).c_str());
        argument = text[0] == '=' ? text + 1 : text;
    } else if (parm_form == 6 || parm_form == 7) {
        argument = text[0] == '=' ? text + 1 : text;
        if (argument[0] == '\0') argument = next_argument();
        if (!argument) opt_missing_parameter(state, id, param_name_of(state, id).c_str());
    } else {
        return 0;
    }
    return match_choice(state, id, argument, out);
}

void opt_flag_handler(OPT_STATE* state, uint32_t id, uint8_t spelling) {
    if (!opt_valid_id(state, id)) return;
    record_parse(state, id, spelling);
    opt_set(state, id);
}

const char* opt_value_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest,
                              uint32_t parm_form, OPT_RANGE range) {
    [[maybe_unused]] const char* opt = rest;
    assert(opt != NULL);
    const char* end = rest + std::strlen(rest);
    if (!opt_valid_id(state, id)) return end;
    record_parse(state, id, spelling);
    const std::string param = param_name_of(state, id);
    const char* argument = opt_get_param(state, id, rest, param.c_str(), parm_form, range);
    if (argument)
        setarg(state, id, argument);
    else if (state->options[id].changes == 0)
        opt_set(state, id);  // an argument that may be left out
    return end;
}

const char* opt_enum_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest,
                             uint32_t parm_form, const char* default_text) {
    [[maybe_unused]] const char* opt = rest;
    assert(opt != NULL);
    const char* end = rest + std::strlen(rest);
    if (!opt_valid_id(state, id)) return end;
    record_parse(state, id, spelling);
    int32_t value = 0;
    if (!opt_parse_enum(state, id, rest, parm_form, &value)) {
        if (!default_text) {
            opt_set(state, id);
            return end;
        }
        const std::string fallback = opt_decode_text(default_text);
        (void)match_choice(state, id, fallback.c_str(), &value);
    }
    setarg(state, id, static_cast<long>(value));
    return end;
}

void opt_help_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest) {
    [[maybe_unused]] const char* opt = rest;
    assert(opt != NULL);
    if (opt_valid_id(state, id)) record_parse(state, id, spelling);
    const char* topic = rest[0] == '=' ? rest + 1 : rest;
    if (topic[0] == '\0') topic = next_argument();
    (void)opt_help(state, topic, false);
    DIAG::diag_exit(0);
}
