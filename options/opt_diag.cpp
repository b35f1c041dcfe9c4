// The option engine's diagnostics: header, the kind's text with the held arguments, ending.
#include "options/opt_diag.h"

namespace DIAG {

optgen_two_words::optgen_two_words(int32_t code, std::string first_, std::string second_, const char* file,
                                   uint32_t line)
    : DIAGNOSTIC(diag_find_kind(code), file, line), first(std::move(first_)), second(std::move(second_)) {}

void optgen_two_words::emit() {
    diag_header(*this);
    diag_printf(*this, kind->std_msg, first.c_str(), second.c_str());
    diag_finish(*this);
}

optgen_place::optgen_place(int32_t code, uint32_t place_, const char* file, uint32_t line)
    : DIAGNOSTIC(diag_find_kind(code), file, line), place(place_) {}

void optgen_place::emit() {
    diag_header(*this);
    diag_printf(*this, kind->std_msg, place);
    diag_finish(*this);
}

optgen_arg_out_of_range2::optgen_arg_out_of_range2(std::string option_, std::string argument_, uint32_t min_,
                                                   uint32_t max_, const char* f, uint32_t l)
    : DIAGNOSTIC(diag_find_kind(MSG_OPT_OUT_OF_RANGE2), f, l),
      option(std::move(option_)),
      argument(std::move(argument_)),
      min(min_),
      max(max_) {}

void optgen_arg_out_of_range2::emit() {
    diag_header(*this);
    diag_printf(*this, kind->std_msg, option.c_str(), argument.c_str(), min, max);
    diag_finish(*this);
}

optgen_option_handler_corruption::optgen_option_handler_corruption(const char* f, uint32_t l)
    : DIAGNOSTIC(diag_find_kind(MSG_OPT_CORRUPTION), f, l) {}

void optgen_option_handler_corruption::emit() {
    diag_header(*this);
    diag_printf(*this, "%s", kind->std_msg);
    diag_finish(*this);
}

}  // namespace DIAG
