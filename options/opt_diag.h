// The option engine's diagnostics: one DIAGNOSTIC class per message kind, holding its arguments.
#pragma once

#include <memory>
#include <string>

#include "DIAG/diag.h"

namespace DIAG {

// Codes of the option engine's message kinds.
inline constexpr int32_t MSG_OPT_CONFLICT = 24002;
inline constexpr int32_t MSG_OPT_OVERRIDE = 24003;
inline constexpr int32_t MSG_OPT_QUIET_CLEAR = 24004;
inline constexpr int32_t MSG_OPT_SETARG_CLAUSE = 24007;
inline constexpr int32_t MSG_OPT_UNHANDLED_HANDLER = 24008;
inline constexpr int32_t MSG_OPT_INVALID_LIST = 24009;
inline constexpr int32_t MSG_OPT_MISSING_PARAMETER = 24010;
inline constexpr int32_t MSG_OPT_OUT_OF_RANGE = 24011;
inline constexpr int32_t MSG_OPT_OUT_OF_RANGE_NON_NEG = 24012;
inline constexpr int32_t MSG_OPT_OUT_OF_RANGE2 = 24013;
inline constexpr int32_t MSG_OPT_CORRUPTION = 24014;
inline constexpr int32_t MSG_OPT_BAD_ARGUMENT = 24015;
inline constexpr int32_t MSG_OPT_HISTORY_CLAUSE = 24031;

// A message whose text takes two words (option names, an argument, a parameter name, a choice list).
class optgen_two_words : public DIAGNOSTIC {
public:
    optgen_two_words(int32_t code, std::string first, std::string second, const char* file, uint32_t line);
    void emit() override;
    std::string first;
    std::string second;
};

// A table inconsistency: the text takes a number that names the place in the engine.
class optgen_place : public DIAGNOSTIC {
public:
    optgen_place(int32_t code, uint32_t place, const char* file, uint32_t line);
    void emit() override;
    uint32_t place;
};

#define OPTGEN_CLONE(CLASS) \
    std::unique_ptr<DIAGNOSTIC> clone() const override { return std::make_unique<CLASS>(*this); }

// "option %s conflicts with previous option %s": the option being set, then the earlier one.
class optgen_conflict_option final : public optgen_two_words {
public:
    optgen_conflict_option(std::string set, std::string earlier, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_CONFLICT, std::move(set), std::move(earlier), f, l) {}
    OPTGEN_CLONE(optgen_conflict_option)
};
class optgen_conflict_override_option final : public optgen_two_words {
public:
    optgen_conflict_override_option(std::string set, std::string earlier, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_OVERRIDE, std::move(set), std::move(earlier), f, l) {}
    OPTGEN_CLONE(optgen_conflict_override_option)
};
class optgen_conflict_quiet_option final : public optgen_two_words {
public:
    optgen_conflict_quiet_option(std::string set, std::string earlier, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_QUIET_CLEAR, std::move(set), std::move(earlier), f, l) {}
    OPTGEN_CLONE(optgen_conflict_quiet_option)
};
// "option %s is missing its parameter '%s'".
class optgen_missing_parameter final : public optgen_two_words {
public:
    optgen_missing_parameter(std::string option, std::string param, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_MISSING_PARAMETER, std::move(option), std::move(param), f, l) {}
    OPTGEN_CLONE(optgen_missing_parameter)
};
class optgen_arg_out_of_range final : public optgen_two_words {
public:
    optgen_arg_out_of_range(std::string option, std::string argument, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_OUT_OF_RANGE, std::move(option), std::move(argument), f, l) {}
    OPTGEN_CLONE(optgen_arg_out_of_range)
};
class optgen_arg_out_of_range_non_neg final : public optgen_two_words {
public:
    optgen_arg_out_of_range_non_neg(std::string option, std::string argument, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_OUT_OF_RANGE_NON_NEG, std::move(option), std::move(argument), f, l) {}
    OPTGEN_CLONE(optgen_arg_out_of_range_non_neg)
};
// "bad argument to option %s: should be one of {%s}": the option, the ordinary choices joined by ",".
class optgen_bad_argument final : public optgen_two_words {
public:
    optgen_bad_argument(std::string option, std::string choices, const char* f, uint32_t l)
        : optgen_two_words(MSG_OPT_BAD_ARGUMENT, std::move(option), std::move(choices), f, l) {}
    OPTGEN_CLONE(optgen_bad_argument)
};

// The range message with its bounds.
class optgen_arg_out_of_range2 final : public DIAGNOSTIC {
public:
    optgen_arg_out_of_range2(std::string option, std::string argument, uint32_t min, uint32_t max,
                             const char* f, uint32_t l);
    void emit() override;
    OPTGEN_CLONE(optgen_arg_out_of_range2)
    std::string option;
    std::string argument;
    uint32_t min;
    uint32_t max;
};

class optgen_option_handler_corruption final : public DIAGNOSTIC {
public:
    optgen_option_handler_corruption(const char* f, uint32_t l);
    void emit() override;
    OPTGEN_CLONE(optgen_option_handler_corruption)
};

class optgen_unhandled_clause_in_setarg final : public optgen_place {
public:
    optgen_unhandled_clause_in_setarg(uint32_t place, const char* f, uint32_t l)
        : optgen_place(MSG_OPT_SETARG_CLAUSE, place, f, l) {}
    OPTGEN_CLONE(optgen_unhandled_clause_in_setarg)
};
class optgen_unhandled_option_handler final : public optgen_place {
public:
    optgen_unhandled_option_handler(uint32_t place, const char* f, uint32_t l)
        : optgen_place(MSG_OPT_UNHANDLED_HANDLER, place, f, l) {}
    OPTGEN_CLONE(optgen_unhandled_option_handler)
};
class optgen_invalid_list_handler final : public optgen_place {
public:
    optgen_invalid_list_handler(uint32_t place, const char* f, uint32_t l)
        : optgen_place(MSG_OPT_INVALID_LIST, place, f, l) {}
    OPTGEN_CLONE(optgen_invalid_list_handler)
};
class optgen_unhandled_clause_in_add_hist final : public optgen_place {
public:
    optgen_unhandled_clause_in_add_hist(uint32_t place, const char* f, uint32_t l)
        : optgen_place(MSG_OPT_HISTORY_CLAUSE, place, f, l) {}
    OPTGEN_CLONE(optgen_unhandled_clause_in_add_hist)
};

#undef OPTGEN_CLONE

}  // namespace DIAG

// Prints a diagnostic of class T built from `args` and the raise site.
#define OPT_RAISE(T, ...)                              \
    do {                                               \
        DIAG::T raised_(__VA_ARGS__, __FILE__, __LINE__); \
        raised_.emit();                                \
    } while (0)
#define OPT_RAISE0(T)                          \
    do {                                       \
        DIAG::T raised_(__FILE__, __LINE__);   \
        raised_.emit();                        \
    } while (0)
