// The option engine: the tables a tool's option set is described by, the parse-time state of its
// options, and the calls that set, clear, store and read them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One named value of an enumerated option. The name's first character is a marker: '+' an ordinary
// choice, listed when a bad value is refused; '*' a deprecated one, accepted with a warning; any other
// character a choice that is accepted but never listed. A table ends with a null name.
struct OPT_ENUM {
    const char* name;
    int32_t value;
};

// The static description of one option. Every text is stored encoded (opt_decode_text).
struct OPT_DESC {
    const char* names[10];   // primary name, then up to eight aliases; ends at the first null
    const char* param_name;  // "" for an option without an argument
    uint8_t param_optional;  // handed to the help synopsis: 1 shows the argument inside "[]"
    const char* short_help;
    const char* long_help;
    uint8_t hidden;           // either hiding flag keeps the option out of help lists and searches
    uint8_t hidden_internal;
    uint8_t persistent;       // a persistent option cannot be cleared
    uint32_t group;           // help group 0 or 1; OPT_GROUP_END marks the end record
    const OPT_ENUM* choices;  // enumerated options only
    uint32_t help_key;        // order in the group lists, largest first
    uint32_t basic_key;       // order in the basic list; 0 = not in it
};
inline constexpr uint32_t OPT_GROUP_END = 2;

// The kind of value an option keeps.
enum parm_type : uint8_t {
    PARM_FLAG = 0,         // no argument
    PARM_TEXT = 1,         // one text
    PARM_SIGNED = 2,       // one signed number
    PARM_UNSIGNED = 3,     // one unsigned number, shown in hexadecimal
    PARM_ENUM = 4,         // one choice of the option's OPT_ENUM table
    PARM_TEXT_LIST = 5,    // any number of texts
    PARM_NUMBER_LIST = 6,  // any number of numbers
    PARM_ENUM_LIST = 7,    // any number of choices
};

// Relations of the conflict matrix: what setting the row option does to a column option already set.
enum : uint8_t {
    OPT_NO_RELATION = 0,
    OPT_CLEARS = 1,     // the earlier option is cleared silently
    OPT_OVERRIDES = 2,  // a warning, then the earlier option is cleared
    OPT_CONFLICTS = 3,  // an error, the earlier option is cleared, exit status 1
};

struct OPT_STATE;

// The handler of one spelling. `rest` is the option word just after the spelling; the handler consumes
// what belongs to its option and returns where parsing goes on.
using OPT_HANDLER = const char* (*)(OPT_STATE* state, const char* rest);

// One spelling of an option, as the parser matches it.
struct OPT_SPELLING {
    const char* text;    // encoded, with its leading dashes; null ends the table
    uint32_t id;
    uint8_t takes_rest;  // 1 when the option takes an argument, which may be attached to the spelling
    OPT_HANDLER handler;
};

// Everything the generated module of a tool provides.
struct OPT_TABLE {
    uint32_t count;                   // option ids are 0 .. count - 1
    const char* tool_name;            // encoded; the name help uses when the command line gives none
    const char* trace_prefix;         // first word of every option-debug trace line
    const OPT_DESC* desc;             // count records, then the end record
    const parm_type* parm_types;      // count entries
    const uint8_t* conflicts;         // count x count; row = option being set, column = earlier option
    const char* group_headings[2];    // encoded
    const OPT_SPELLING* spellings;
};

// A stored argument.
struct OPT_VALUE {
    std::string text;
    int32_t number = 0;
};

// One entry of the option history, in order of setting.
struct OPT_HISTORY_ENTRY {
    uint32_t id;
    int32_t number;
    std::string text;
};

// The parse-time record of one option.
struct OPT_RECORD {
    uint32_t state = 0;    // raised on every set, 0 after a clear; non-zero means "given"
    uint32_t changes = 0;  // raised on every set and clear; 1 after the first setarg
    uint8_t spelling = 0;  // 0 = primary name, k + 1 = alias k
    uint32_t parsed = 0;   // how often a spelling of the option was recognised
    std::vector<OPT_VALUE> values;
};

// The parse-time state of all options of one tool run.
struct OPT_STATE {
    explicit OPT_STATE(const OPT_TABLE* table);

    const OPT_TABLE* table;
    const char* tool_name = nullptr;  // program name for help; null = the table's name
    bool option_debug = false;        // trace every step to standard output
    bool no_conflicts = false;        // when set, the conflict matrix is not applied
    const char* current_argument = "<internal>";
    std::vector<OPT_RECORD> options;
    std::vector<OPT_HISTORY_ENTRY> history;
};

// The inclusive range a numeric argument must lie in.
struct OPT_RANGE {
    int64_t min;
    int64_t max;
};
inline constexpr OPT_RANGE OPT_SIGNED_RANGE{0, 2147483647};
inline constexpr OPT_RANGE OPT_UNSIGNED_RANGE{0, 4294967295};

// ---- Parsing --------------------------------------------------------------------------------------

// Parses one option word (the text after its leading "-"): one-letter spellings, several of which may
// stand in one word, or a long spelling after a further "-". Returns 1 when the whole text was
// consumed; 0 at a spelling that matches nothing (then *out_pos, when given, points one character
// before it). Options recorded before that point stay recorded. Does not return after a help option or
// an option error.
[[nodiscard]] int opt_parse_arg(OPT_STATE* state, const char* text, const char** out_pos);

// The callback that yields the next command-line word and consumes it, or null at the end.
using OPT_NEXT_ARGUMENT = const char* (*)();
void opt_set_next_argument(OPT_NEXT_ARGUMENT hook);
const char* next_argument();

// ---- Setting, clearing and storing ---------------------------------------------------------------

// Sets option `id`: state and changes rise, the conflict matrix is applied (unless switched off) and
// the history takes the option. Ids out of range are ignored.
void opt_set(OPT_STATE* state, uint32_t id);
// Whether option `id` is given (its state is not 0).
bool opt_is_set(const OPT_STATE* state, uint32_t id);
// Clears option `id` with its values and history, unless it is persistent.
void opt_clear(OPT_STATE* state, uint32_t id);
// Applies the conflict matrix row of `id` to every other option that is set, in id order.
void opt_check_conflicts(OPT_STATE* state, uint32_t id);
// Stores an argument of option `id`, setting the option first when it never changed. Single-valued
// kinds replace their value, list kinds append. A flag is a fatal table error.
void setarg(OPT_STATE* state, uint32_t id, long number);
void setarg(OPT_STATE* state, uint32_t id, const char* text);
// Records option `id` with its last value in the history; single-valued kinds keep one entry.
void add_to_history(OPT_STATE* state, uint32_t id);
void opt_remove_history(OPT_STATE* state, uint32_t id);

// ---- Reading -------------------------------------------------------------------------------------

// The index-th value of option `id` as a number (text kinds are parsed); 0 when there is no such
// value. A flag is a fatal table error.
long opt_get_num(OPT_STATE* state, uint32_t id, uint32_t index);
// The index-th value of option `id` as text: signed numbers in decimal, unsigned ones as "0x%lX",
// choices by name. Null when there is no such value; a flag is a fatal table error. Formatted numbers
// stay valid for the next 14 calls.
const char* opt_get_text(OPT_STATE* state, uint32_t id, uint32_t index);
// The option's name as the user last spelled it (the primary name before that), decoded.
std::string opt_spelled_name(const OPT_STATE* state, uint32_t id);

// ---- Arguments -----------------------------------------------------------------------------------

// The argument of option `id` by `parm_form`: attached to the spelling (after an optional "="), or
// for forms 0-5 and 8 the next command-line word when nothing is attached; forms 9-14 and 17 take an
// attached argument only and give null without one. Numbers are checked against `range`. A missing,
// malformed or out-of-range argument is reported and ends the program with status 1. Forms above 17
// give `rest` unchanged.
const char* opt_get_param(OPT_STATE* state, uint32_t id, const char* rest, const char* param_name,
                          uint32_t parm_form, OPT_RANGE range);
// Checks a numeric argument (unsigned for forms 2 and 11) and returns its value; on failure reports
// and ends the program with status 1.
long opt_check_number(OPT_STATE* state, uint32_t id, const char* text, uint32_t parm_form, OPT_RANGE range);
// Matches the argument of an enumerated option, ignoring case, and stores the choice's value in *out.
// Forms 15 and 16 return 0 when nothing is attached; forms 6 and 7 take the next word then. An unknown
// value lists the ordinary choices and ends the program with status 1. Other forms return 0.
[[nodiscard]] int opt_parse_enum(OPT_STATE* state, uint32_t id, const char* text, uint32_t parm_form, int32_t* out);

// How a number parse ended.
struct OPT_NUMBER_STATUS {
    bool error = false;     // nothing converted, or characters left over
    bool overflow = false;  // the value does not fit
};
// Number syntax: "0x" selects hexadecimal and a leading "0" before an octal digit octal; a trailing
// "H" makes the digits hexadecimal, a trailing "Q" after octal digits octal. `state` may be null (no
// trace). The caller's errno is preserved.
long opt_parse_signed(const OPT_STATE* state, const char* text, OPT_NUMBER_STATUS* status);
unsigned long opt_parse_unsigned(const OPT_STATE* state, const char* text, OPT_NUMBER_STATUS* status);

// ---- Texts ---------------------------------------------------------------------------------------

// Decodes a stored table text: "%" and "-" swap and letters move 13 places within their case. The
// mapping is its own inverse, so it also encodes. Null gives "". The result stays valid for the next
// four calls.
const char* opt_decode_text(const char* text);

// ---- Handlers of the generated module --------------------------------------------------------------
// Each records the spelling and the parse, then does its kind's work.

// A flag: sets the option.
void opt_flag_handler(OPT_STATE* state, uint32_t id, uint8_t spelling);
// A text or numeric option: takes the argument by `parm_form` and stores it. Returns the end of the word.
const char* opt_value_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest,
                              uint32_t parm_form, OPT_RANGE range);
// An enumerated option: takes the choice by `parm_form`, or the encoded `default_text` when the form
// allows none to be given, and stores its value. Returns the end of the word.
const char* opt_enum_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest,
                             uint32_t parm_form, const char* default_text);
// The help option: the attached topic (after an optional "=") or else the next word; prints the full
// help or the search result and ends the program with status 0.
[[noreturn]] void opt_help_handler(OPT_STATE* state, uint32_t id, uint8_t spelling, const char* rest);

// ---- Help ----------------------------------------------------------------------------------------

// With no or an empty search text prints the full help and returns true. Otherwise prints the options
// matching `search`; then ends the program with status 0 unless `return_flag` is set, in which case it
// returns whether anything matched.
[[nodiscard]] bool opt_help(OPT_STATE* state, const char* search, bool return_flag);
// The option's names joined with ",", with "=param" (in "[]" when optional). Names equal to
// `skip_name` are left out. Valid until the next call.
const char* opt_synopsis(const OPT_STATE* state, uint32_t id, const char* skip_name);
// The help list: begin, add entries, print. Modes: 2 keeps the order of adding; 3 orders by key,
// largest first, then by synopsis; others by synopsis alone (synopses compare without leading dashes).
void help_list_begin(const char* heading, int width, int sort_mode);
void help_list_add(const char* synopsis, const char* help, int32_t key);
// Prints the heading and the entries in one column; in long-name mode a synopsis wider than the
// column stands on a line of its own. Returns whether anything was printed.
[[nodiscard]] bool help_list_print(bool long_names, int extra_indent);
// Prints `text` wrapped to end by column 79, continuation lines indented by `indent` and one blank.
void help_wrap(FILE* stream, const char* text, const char* indent);
