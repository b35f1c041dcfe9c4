// The option engine's number syntax and the range check of numeric arguments.
#include <gtest/gtest.h>

#include <cerrno>

#include "options/opt_engine.h"
#include "options_test_table.h"

namespace {

struct CASE {
    const char* text;
    long value;
    bool error;
};

TEST(OptionNumbers, RadixPrefixesAndSuffixes) {
    const CASE cases[] = {
        {"1FH", 31, false},  {"1fh", 31, false},  {"17q", 15, false},  {"17Q", 15, false},
        {"017", 15, false},  {"0x1f", 31, false}, {"0X1F", 31, false}, {"08", 8, false},
        {"0", 0, false},     {"42", 42, false},   {"-12", -12, false}, {"0x1fh", 31, false},
        {"19q", 0, true},    {"1e", 0, true},     {"", 0, true},       {"12 ", 0, true},
        {"0x", 0, true},     {"1FHx", 0, true},   {"q", 0, true},      {"abc", 0, true},
    };
    for (const CASE& c : cases) {
        OPT_NUMBER_STATUS status;
        const long value = opt_parse_signed(nullptr, c.text, &status);
        EXPECT_EQ(status.error, c.error) << '"' << c.text << '"';
        if (!c.error) {
            EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        }
        EXPECT_FALSE(status.overflow) << '"' << c.text << '"';
    }
}

TEST(OptionNumbers, OverflowIsToldApartErrnoIsKeptAndTheTraceNamesTheRadix) {
    errno = EDOM;
    OPT_NUMBER_STATUS status;
    (void)opt_parse_signed(nullptr, "999999999999999999999999", &status);
    EXPECT_TRUE(status.overflow);
    EXPECT_FALSE(status.error);
    EXPECT_EQ(errno, EDOM);

    EXPECT_EQ(opt_parse_unsigned(nullptr, "0xFFFFFFFF", &status), 0xFFFFFFFFul);
    EXPECT_FALSE(status.error || status.overflow);
    // The trace names the radix.
    OPT_STATE state(unit::test_table());
    state.option_debug = true;
    testing::internal::CaptureStdout();
    (void)opt_parse_signed(&state, "17q", nullptr);
    (void)opt_parse_unsigned(&state, "1FH", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "test option debug: about to parse '17' as signed, radix 8\n"
              "test option debug: about to parse '1F' as unsigned, radix 16\n");
}

TEST(OptionNumbers, AcceptedArgumentsReturnTheirValue) {
    OPT_STATE state(unit::test_table());
    EXPECT_EQ(opt_check_number(&state, unit::T_COUNT, "0x10", 0, OPT_SIGNED_RANGE), 16);
    EXPECT_EQ(opt_check_number(&state, unit::T_MASK, "4294967295", 2, OPT_UNSIGNED_RANGE), 4294967295L);
    EXPECT_EQ(opt_check_number(&state, unit::T_LEVEL, "9", 0, OPT_RANGE{1, 9}), 9);
}

// Each refusal names the option as spelled and the argument, and ends the run with status 1.
TEST(OptionNumbersDeathTest, RefusedArgumentsChooseTheirMessage) {
    auto parse = [](const char* word) {
        OPT_STATE state(unit::test_table());
        (void)opt_parse_arg(&state, word, nullptr);
    };
    EXPECT_EXIT(parse("s-5"), testing::ExitedWithCode(1),
                "^error: argument to option -s \\(-5\\) is out of range \\(must be a\n   non-negative_number\\)\n$");
    EXPECT_EXIT(parse("s99999999999999999999"), testing::ExitedWithCode(1),
                "^error: argument to option -s \\(99999999999999999999\\) is out of range\n$");
    EXPECT_EXIT(parse("s12x"), testing::ExitedWithCode(1), "^error: argument to option -s \\(12x\\) is out of range\n$");
    EXPECT_EXIT(parse("m-1"), testing::ExitedWithCode(1), "non-negative_number");
    EXPECT_EXIT(parse("m4294967296"), testing::ExitedWithCode(1), "-m \\(4294967296\\) is out of range\n$");
    EXPECT_EXIT(parse("L0"), testing::ExitedWithCode(1),
                "^error: argument to option -L \\(0\\) is out of range \\(must be a number from 1 to 9\n$");
    EXPECT_EXIT(parse("L="), testing::ExitedWithCode(1), "^error: option -L is missing its parameter 'level'\n$");
}

}  // namespace
