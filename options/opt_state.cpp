// The option state: setting and clearing options, the conflict matrix, stored arguments and the history.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "options/opt_diag.h"
#include "options/opt_internal.h"

OPT_STATE::OPT_STATE(const OPT_TABLE* table_) : table(table_), options(table_->count) {}

std::string opt_primary_name(const OPT_STATE* state, uint32_t id) {
    return opt_decode_text(state->table->desc[id].names[0]);
}

std::string opt_spelled_name(const OPT_STATE* state, uint32_t id) {
    if (!opt_valid_id(state, id)) return "";
    const OPT_DESC& desc = state->table->desc[id];
    const uint8_t spelling = state->options[id].spelling;
    if (spelling < 10 && desc.names[spelling]) return opt_decode_text(desc.names[spelling]);
    return opt_decode_text(desc.names[0]);
}

void opt_missing_parameter(OPT_STATE* state, uint32_t id, const char* param_name) {
    OPT_RAISE(optgen_missing_parameter, opt_spelled_name(state, id), param_name ? param_name : "");
    opt_exit_after_error();
}

void opt_exit_after_error() { DIAG::diag_exit(1); }

bool opt_is_set(const OPT_STATE* state, uint32_t id) { return opt_valid_id(state, id) && state->options[id].state != 0; }

void opt_set(OPT_STATE* state, uint32_t id) {
    if (!opt_valid_id(state, id)) return;
    OPT_RECORD& record = state->options[id];
    ++record.state;
    ++record.changes;
    opt_trace(state, "%s: Set    option id %s to state %d\n", opt_primary_name(state, id).c_str(),
              static_cast<int>(record.state));
    if (!state->no_conflicts) opt_check_conflicts(state, id);
    add_to_history(state, id);
}

void opt_clear(OPT_STATE* state, uint32_t id) {
    if (!opt_valid_id(state, id) || state->table->desc[id].persistent) return;
    opt_trace(state, "%s: Clear  option id %s to state 0\n", opt_primary_name(state, id).c_str());
    OPT_RECORD& record = state->options[id];
    record.state = 0;
    ++record.changes;
    record.values.clear();
    opt_remove_history(state, id);
}

void opt_check_conflicts(OPT_STATE* state, uint32_t id) {
    if (!opt_valid_id(state, id)) return;
    const uint32_t n = state->table->count;
    for (uint32_t earlier = 0; earlier < n; ++earlier) {
        if (earlier == id || state->options[earlier].state == 0) continue;
        const uint8_t relation = state->table->conflicts[id * n + earlier];
        if (relation == OPT_NO_RELATION) continue;
        const std::string set_name = opt_spelled_name(state, id);
        const std::string earlier_name = opt_spelled_name(state, earlier);
        switch (relation) {
        case OPT_CLEARS:
            if (state->option_debug) OPT_RAISE(optgen_conflict_quiet_option, set_name, earlier_name);
            opt_clear(state, earlier);
            break;
        case OPT_OVERRIDES:
            OPT_RAISE(optgen_conflict_override_option, set_name, earlier_name);
            opt_clear(state, earlier);
            break;
        default:
            OPT_RAISE(optgen_conflict_option, set_name, earlier_name);
            opt_clear(state, earlier);
            opt_exit_after_error();
        }
    }
}

namespace {

// Places named by the table-error diagnostics.
enum : uint32_t {
    PLACE_SETARG_NUMBER = 1,
    PLACE_SETARG_TEXT = 2,
    PLACE_GET_NUM = 3,
    PLACE_GET_TEXT = 4,
    PLACE_HISTORY = 5,
};

parm_type kind_of(const OPT_STATE* state, uint32_t id) { return state->table->parm_types[id]; }

bool is_list(parm_type kind) { return kind == PARM_TEXT_LIST || kind == PARM_NUMBER_LIST || kind == PARM_ENUM_LIST; }

// The value setarg writes: the single one, or a new one at the end of a list.
OPT_VALUE& value_slot(OPT_RECORD& record, parm_type kind) {
    if (is_list(kind) || record.values.empty()) record.values.emplace_back();
    return record.values.back();
}

// Sets the option when setarg is its first change.
void set_on_first_change(OPT_STATE* state, uint32_t id) {
    OPT_RECORD& record = state->options[id];
    if (record.changes != 0) return;
    ++record.state;
    record.changes = 1;
    opt_trace(state, "%s: Set    option id %s to state %d\n", opt_primary_name(state, id).c_str(),
              static_cast<int>(record.state));
    if (!state->no_conflicts) opt_check_conflicts(state, id);
}

// The name of the choice of option `id` with this value, or null.
const char* choice_name(const OPT_STATE* state, uint32_t id, long value) {
    const OPT_ENUM* choices = state->table->desc[id].choices;
    for (size_t i = 0; choices && choices[i].name; ++i)
        if (choices[i].value == value) return opt_decode_text(choices[i].name) + 1;
    return nullptr;
}

void trace_setarg_end(const OPT_STATE* state, uint32_t id, long number) {
    if (!state->option_debug) return;
    if (kind_of(state, id) == PARM_ENUM || kind_of(state, id) == PARM_ENUM_LIST) {
        const char* name = choice_name(state, id, number);
        std::printf(" (%s)", name ? name : "");
    }
    std::printf("\n");
}

}  // namespace

void setarg(OPT_STATE* state, uint32_t id, long number) {
    if (!opt_valid_id(state, id)) return;
    const parm_type kind = kind_of(state, id);
    if (kind == PARM_FLAG || kind > PARM_ENUM_LIST) {
        OPT_RAISE(optgen_unhandled_clause_in_setarg, PLACE_SETARG_NUMBER);
        return;
    }
    set_on_first_change(state, id);
    OPT_RECORD& record = state->options[id];
    OPT_VALUE& value = value_slot(record, kind);
    if (kind == PARM_TEXT || kind == PARM_TEXT_LIST) {
        value.text = std::to_string(number);
        value.number = 0;
    } else {
        value.text.clear();
        value.number = static_cast<int32_t>(number);
    }
    opt_trace(state, "%s: Set    option id %s arg to value '%ld' (%d args)", opt_primary_name(state, id).c_str(),
              number, static_cast<int>(record.values.size()) - 1);
    trace_setarg_end(state, id, number);
    add_to_history(state, id);
}

void setarg(OPT_STATE* state, uint32_t id, const char* text) {
    assert(text != nullptr);
    if (!opt_valid_id(state, id)) return;
    const parm_type kind = kind_of(state, id);
    if (kind == PARM_FLAG || kind > PARM_ENUM_LIST) {
        OPT_RAISE(optgen_unhandled_clause_in_setarg, PLACE_SETARG_TEXT);
        return;
    }
    set_on_first_change(state, id);
    OPT_RECORD& record = state->options[id];
    OPT_VALUE& value = value_slot(record, kind);
    long number = 0;
    if (kind == PARM_TEXT || kind == PARM_TEXT_LIST) {
        value.text = text;
        value.number = 0;
    } else {
        number = kind == PARM_UNSIGNED ? static_cast<long>(opt_parse_unsigned(state, text, nullptr))
                                       : opt_parse_signed(state, text, nullptr);
        value.text.clear();
        value.number = static_cast<int32_t>(number);
    }
    opt_trace(state, "%s: Set    option id %s arg to value '%s' (%d args)", opt_primary_name(state, id).c_str(), text,
              static_cast<int>(record.values.size()) - 1);
    trace_setarg_end(state, id, number);
    add_to_history(state, id);
}

void opt_remove_history(OPT_STATE* state, uint32_t id) {
    std::erase_if(state->history, [id](const OPT_HISTORY_ENTRY& e) { return e.id == id; });
}

void add_to_history(OPT_STATE* state, uint32_t id) {
    if (!opt_valid_id(state, id)) return;
    const parm_type kind = kind_of(state, id);
    if (kind > PARM_ENUM_LIST) {
        OPT_RAISE(optgen_unhandled_clause_in_add_hist, PLACE_HISTORY);
        return;
    }
    if (!is_list(kind)) opt_remove_history(state, id);
    OPT_HISTORY_ENTRY entry{id, 0, ""};
    const OPT_RECORD& record = state->options[id];
    if (kind != PARM_FLAG && !record.values.empty()) {
        const uint32_t last = static_cast<uint32_t>(record.values.size() - 1);
        entry.number = static_cast<int32_t>(opt_get_num(state, id, last));
        entry.text = opt_get_text(state, id, last);
    }
    opt_trace(state, "%s: Add option id %s to history with arg %s\n", opt_primary_name(state, id).c_str(),
              entry.text.c_str());
    state->history.push_back(std::move(entry));
}

long opt_get_num(OPT_STATE* state, uint32_t id, uint32_t index) {
    if (!opt_valid_id(state, id)) return 0;
    const parm_type kind = kind_of(state, id);
    if (kind == PARM_FLAG) {
        OPT_RAISE(optgen_unhandled_option_handler, PLACE_GET_NUM);
        return 0;
    }
    const OPT_RECORD& record = state->options[id];
    if (index >= record.values.size()) return 0;
    const OPT_VALUE& value = record.values[index];
    if (kind == PARM_TEXT || kind == PARM_TEXT_LIST) return opt_parse_signed(state, value.text.c_str(), nullptr);
    return value.number;
}

const char* opt_get_text(OPT_STATE* state, uint32_t id, uint32_t index) {
    if (!opt_valid_id(state, id)) return nullptr;
    const parm_type kind = kind_of(state, id);
    if (kind == PARM_FLAG) {
        OPT_RAISE(optgen_invalid_list_handler, PLACE_GET_TEXT);
        return nullptr;
    }
    const OPT_RECORD& record = state->options[id];
    if (index >= record.values.size()) return nullptr;
    const OPT_VALUE& value = record.values[index];
    if (kind == PARM_TEXT || kind == PARM_TEXT_LIST) return value.text.c_str();

    // Formatted values live in a ring, so a result survives the next 14 calls.
    static std::string ring[15];
    static size_t next = 0;
    std::string& buffer = ring[next];
    next = (next + 1) % 15;
    char digits[32];
    if (kind == PARM_UNSIGNED) {
        std::snprintf(digits, sizeof digits, "0x%lX", static_cast<unsigned long>(static_cast<uint32_t>(value.number)));
    } else {
        std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(value.number));
    }
    const char* name = (kind == PARM_ENUM || kind == PARM_ENUM_LIST) ? choice_name(state, id, value.number) : nullptr;
    buffer = name ? name : digits;
    return buffer.c_str();
}
