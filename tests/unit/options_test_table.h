// A small option table for the engine's tests, with every kind, argument form and relation that the
// tool's own table does not use.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "options/opt_engine.h"

namespace unit {

// Ids of the test table.
enum : uint32_t {
    T_ALPHA,     // flag -a --alpha
    T_BETA,      // flag -b --beta; overrides alpha
    T_GAMMA,     // flag -c --gamma; clears alpha
    T_DELTA,     // flag -d, persistent
    T_NAME,      // text -N --name=name (form 3)
    T_COUNT,     // signed -s --count=n (form 0)
    T_MASK,      // unsigned -m=mask (form 2)
    T_LEVEL,     // signed -L=level in 1..9 (form 0)
    T_MODE,      // enum -M --mode=fast,slow (form 6); "old" deprecated, "secret" unlisted
    T_FILES,     // text list -f=file
    T_NUMS,      // number list -k=n
    T_MODES,     // enum list -e=mode
    T_OPT,       // signed --opt[=n], attached only (form 9)
    T_X,         // flag -x --exclusive; conflicts with alpha
    T_HIDDEN,    // flag -z, hidden
    T_LONGNAME,  // flag -W --a-very-long-option-name-indeed
    T_COUNT_ALL
};

// Table texts are stored encoded; the encoding is its own inverse, so decoding a plain text encodes it.
inline const char* enc(const char* plain) {
    static std::deque<std::string> texts;
    texts.emplace_back(opt_decode_text(plain));
    return texts.back().c_str();
}

inline const OPT_TABLE* test_table() {
    static const OPT_ENUM mode_choices[] = {
        {enc("+fast"), 1}, {enc("+slow"), 2}, {enc("*old"), 3}, {enc("=secret"), 4}, {nullptr, 0}};
    static const OPT_DESC descs[] = {
        {{enc("-a"), enc("--alpha")}, "", 0, enc("the first flag"), enc(""), 0, 0, 0, 0, nullptr, 500, 0},
        {{enc("-b"), enc("--beta")}, "", 0, enc("beta overrides alpha"), enc(""), 0, 0, 0, 0, nullptr, 500, 0},
        {{enc("-c"), enc("--gamma")}, "", 0, enc("gamma clears alpha"), enc(""), 0, 0, 0, 0, nullptr, 600, 0},
        {{enc("-d")}, "", 0, enc("stays once set"), enc(""), 0, 0, 1, 1, nullptr, 500, 7},
        {{enc("-N"), enc("--name")}, enc("name"), 0, enc("a name"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-s"), enc("--count")}, enc("n"), 0, enc("a count"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-m")}, enc("mask"), 0, enc("a mask"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-L")}, enc("level"), 0, enc("a level"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-M"), enc("--mode")}, enc("fast,slow"), 0, enc("a mode"), enc(""), 0, 0, 0, 1, mode_choices, 500, 0},
        {{enc("-f")}, enc("file"), 0, enc("files"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-k")}, enc("n"), 0, enc("numbers"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-e")}, enc("mode"), 0, enc("modes"), enc(""), 0, 0, 0, 1, mode_choices, 500, 0},
        {{enc("--opt")}, enc("n"), 1, enc("optional number"), enc(""), 0, 0, 0, 1, nullptr, 500, 0},
        {{enc("-x"), enc("--exclusive")}, "", 0, enc("excludes alpha"), enc("Cannot follow alpha."), 0, 0, 0, 0,
         nullptr, 500, 0},
        {{enc("-z")}, "", 0, enc("hidden zebra"), enc(""), 1, 0, 0, 0, nullptr, 500, 0},
        {{enc("-W"), enc("--a-very-long-option-name-indeed")}, "", 0, enc("long names wrap"), enc(""), 0, 0, 0, 0,
         nullptr, 500, 0},
        {{nullptr}, nullptr, 0, nullptr, nullptr, 0, 0, 0, OPT_GROUP_END, nullptr, 0, 0},
    };
    static const parm_type types[] = {PARM_FLAG,   PARM_FLAG,      PARM_FLAG,        PARM_FLAG,
                                      PARM_TEXT,   PARM_SIGNED,    PARM_UNSIGNED,    PARM_SIGNED,
                                      PARM_ENUM,   PARM_TEXT_LIST, PARM_NUMBER_LIST, PARM_ENUM_LIST,
                                      PARM_SIGNED, PARM_FLAG,      PARM_FLAG,        PARM_FLAG};
    static uint8_t conflicts[T_COUNT_ALL * T_COUNT_ALL] = {};
    conflicts[T_BETA * T_COUNT_ALL + T_ALPHA] = OPT_OVERRIDES;
    conflicts[T_GAMMA * T_COUNT_ALL + T_ALPHA] = OPT_CLEARS;
    conflicts[T_X * T_COUNT_ALL + T_ALPHA] = OPT_CONFLICTS;

    // Handlers of flags, values (form, range) and choices, for spelling `sp` of option `id`.
#define FLAG(id, sp) [](OPT_STATE* s, const char* r) { return opt_flag_handler(s, id, sp), r; }
#define VALUE(id, sp, form, range) [](OPT_STATE* s, const char* r) { return opt_value_handler(s, id, sp, r, form, range); }
#define CHOICE(id, sp) [](OPT_STATE* s, const char* r) { return opt_enum_handler(s, id, sp, r, 6, nullptr); }
    static const OPT_SPELLING spellings[] = {
        {enc("-a"), T_ALPHA, 0, FLAG(T_ALPHA, 0)},
        {enc("--alpha"), T_ALPHA, 0, FLAG(T_ALPHA, 1)},
        {enc("-b"), T_BETA, 0, FLAG(T_BETA, 0)},
        {enc("-c"), T_GAMMA, 0, FLAG(T_GAMMA, 0)},
        {enc("-d"), T_DELTA, 0, FLAG(T_DELTA, 0)},
        {enc("-N"), T_NAME, 1, VALUE(T_NAME, 0, 3, OPT_SIGNED_RANGE)},
        {enc("--name"), T_NAME, 1, VALUE(T_NAME, 1, 3, OPT_SIGNED_RANGE)},
        {enc("-s"), T_COUNT, 1, VALUE(T_COUNT, 0, 0, OPT_SIGNED_RANGE)},
        {enc("-m"), T_MASK, 1, VALUE(T_MASK, 0, 2, OPT_UNSIGNED_RANGE)},
        {enc("-L"), T_LEVEL, 1, VALUE(T_LEVEL, 0, 0, (OPT_RANGE{1, 9}))},
        {enc("-M"), T_MODE, 1, CHOICE(T_MODE, 0)},
        {enc("--mode"), T_MODE, 1, CHOICE(T_MODE, 1)},
        {enc("-f"), T_FILES, 1, VALUE(T_FILES, 0, 3, OPT_SIGNED_RANGE)},
        {enc("-k"), T_NUMS, 1, VALUE(T_NUMS, 0, 0, OPT_SIGNED_RANGE)},
        {enc("-e"), T_MODES, 1, CHOICE(T_MODES, 0)},
        {enc("--opt"), T_OPT, 1, VALUE(T_OPT, 0, 9, OPT_SIGNED_RANGE)},
        {enc("-x"), T_X, 0, FLAG(T_X, 0)},
        {enc("--exclusive"), T_X, 0, FLAG(T_X, 1)},
        {enc("-z"), T_HIDDEN, 0, FLAG(T_HIDDEN, 0)},
        {nullptr, 0, 0, nullptr},
    };
#undef FLAG
#undef VALUE
#undef CHOICE
    static const OPT_TABLE table{T_COUNT_ALL, enc("tester"), "test option debug", descs, types, conflicts,
                                 {enc("Group Zero:"), enc("Group One:")}, spellings};
    return &table;
}

}  // namespace unit
