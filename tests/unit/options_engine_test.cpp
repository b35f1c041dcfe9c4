// The option engine on a small table of what the tool's own table does not use (overriding and clearing
// relations, numbers and their ranges, an argument that must be attached, hidden and deprecated choices):
// matching, the argument forms, and the messages of refused words. The tool's table is the golden cases'.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <string>
#include <tuple>
#include <utility>

#include "options/opt_engine.h"
#include "unit_support.h"

namespace {

enum : uint32_t { T_ALPHA, T_BETA, T_GAMMA, T_COUNT, T_MASK, T_LEVEL, T_MODE, T_OPT, T_COUNT_ALL };

// Table texts are stored encoded; the encoding is its own inverse, so decoding a plain text encodes it.
const char* enc(const char* plain) {
    static std::deque<std::string> texts;
    return texts.emplace_back(opt_decode_text(plain)).c_str();
}

// -a --alpha; -b overrides it, -c clears it; -s=n (signed), -m=mask (unsigned),
// -L=level (1 to 9), -M --mode=fast,slow ("old" deprecated, "secret" never listed), --opt[=n] attached only.
const OPT_TABLE* test_table() {
    static const OPT_ENUM modes[] = {{enc("+fast"), 1}, {enc("+slow"), 2}, {enc("*old"), 3}, {enc("=secret"), 4}, {}};
    auto desc = [](const char* name, const char* alias, const char* param, const OPT_ENUM* choices = nullptr) {
        return OPT_DESC{{enc(name), alias ? enc(alias) : nullptr}, param ? enc(param) : "", 0, enc(""), enc(""), 0, 0, 0,
                        0, choices, 500, 0};
    };
    static const OPT_DESC descs[] = {
        desc("-a", "--alpha", nullptr), desc("-b", nullptr, nullptr), desc("-c", nullptr, nullptr),
        desc("-s", nullptr, "n"),      desc("-m", nullptr, "mask"),
        desc("-L", nullptr, "level"),  desc("-M", "--mode", "fast,slow", modes), desc("--opt", nullptr, "n"),
        OPT_DESC{{nullptr}, nullptr, 0, nullptr, nullptr, 0, 0, 0, OPT_GROUP_END, nullptr, 0, 0}};
    static const parm_type types[] = {PARM_FLAG,     PARM_FLAG,   PARM_FLAG,  PARM_SIGNED,
                                      PARM_UNSIGNED, PARM_SIGNED, PARM_ENUM, PARM_SIGNED};
    static uint8_t conflicts[T_COUNT_ALL * T_COUNT_ALL] = {};
    conflicts[T_BETA * T_COUNT_ALL + T_ALPHA] = OPT_OVERRIDES;
    conflicts[T_GAMMA * T_COUNT_ALL + T_ALPHA] = OPT_CLEARS;
#define FLAG(id, sp) [](OPT_STATE* s, const char* r) { return opt_flag_handler(s, id, sp), r; }
#define VALUE(id, sp, form, range) [](OPT_STATE* s, const char* r) { return opt_value_handler(s, id, sp, r, form, range); }
    static const OPT_SPELLING spellings[] = {
        {enc("-a"), T_ALPHA, 0, FLAG(T_ALPHA, 0)},
        {enc("--alpha"), T_ALPHA, 0, FLAG(T_ALPHA, 1)},
        {enc("-b"), T_BETA, 0, FLAG(T_BETA, 0)},
        {enc("-c"), T_GAMMA, 0, FLAG(T_GAMMA, 0)},
        {enc("-s"), T_COUNT, 1, VALUE(T_COUNT, 0, 0, OPT_SIGNED_RANGE)},
        {enc("-m"), T_MASK, 1, VALUE(T_MASK, 0, 2, OPT_UNSIGNED_RANGE)},
        {enc("-L"), T_LEVEL, 1, VALUE(T_LEVEL, 0, 0, (OPT_RANGE{1, 9}))},
        {enc("-M"), T_MODE, 1, [](OPT_STATE* s, const char* r) { return opt_enum_handler(s, T_MODE, 0, r, 6, nullptr); }},
        {enc("--mode"), T_MODE, 1, [](OPT_STATE* s, const char* r) { return opt_enum_handler(s, T_MODE, 1, r, 6, nullptr); }},
        {enc("--opt"), T_OPT, 1, VALUE(T_OPT, 0, 9, OPT_SIGNED_RANGE)},
        {nullptr, 0, 0, nullptr}};
#undef FLAG
#undef VALUE
    static const OPT_TABLE table{T_COUNT_ALL, enc("tester"), "test option debug", descs, types, conflicts,
                                 {enc("Group Zero:"), enc("Group One:")}, spellings};
    return &table;
}

// The command-line word that next_argument hands out, once (null when there is none or it was taken).
const char* next_word = nullptr;
const char* take_next_word() { return std::exchange(next_word, nullptr); }

class OptionEngine : public testing::Test {
protected:
    OptionEngine() : state(test_table()) {
        next_word = nullptr;
        opt_set_next_argument(take_next_word);
    }
    ~OptionEngine() override { opt_set_next_argument(nullptr); }

    int parse(const char* word) { return opt_parse_arg(&state, word, nullptr); }

    OPT_STATE state;
};
using OptionEngineDeathTest = OptionEngine;

TEST_F(OptionEngine, AnOverrideWarnsAClearIsQuiet) {
    unit::diag_capture diags;
    ASSERT_EQ(parse("a"), 1);
    ASSERT_EQ(parse("b"), 1);
    EXPECT_EQ(diags.take(), "warning: option -b overrides preceding option -a\n");
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));
    ASSERT_EQ(parse("-alpha"), 1);
    ASSERT_EQ(parse("c"), 1);
    EXPECT_EQ(diags.take(), "");
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));
    EXPECT_TRUE(opt_is_set(&state, T_BETA));
    EXPECT_EQ(DIAG::diag_error_count(), 0);
}

TEST_F(OptionEngine, NumbersChoicesAndAnArgumentThatMayBeLeftOut) {
    next_word = "file.o";
    ASSERT_EQ(parse("s=0x20"), 1);
    EXPECT_EQ(opt_get_num(&state, T_COUNT, 0), 32);

    // An attached-only argument may be left out, and the next word is not taken.
    ASSERT_EQ(parse("-opt"), 1);
    EXPECT_TRUE(opt_is_set(&state, T_OPT));
    EXPECT_NE(next_word, nullptr);
    ASSERT_EQ(parse("-opt=5"), 1);
    EXPECT_EQ(opt_get_num(&state, T_OPT, 0), 5);

    // An unlisted choice is accepted, a deprecated one with a warning.
    ASSERT_EQ(parse("M=secret"), 1);
    EXPECT_EQ(opt_get_num(&state, T_MODE, 0), 4);
    testing::internal::CaptureStderr();
    ASSERT_EQ(parse("Mold"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: argument 'old' to option '-M' is deprecated and will be removed in a future release\n");
    EXPECT_EQ(opt_get_num(&state, T_MODE, 0), 3);
}

TEST(OptionNumbers, RadixPrefixesSuffixesAndOverflow) {
    // (text, value, refused)
    const std::tuple<const char*, long, bool> cases[] = {
        {"1FH", 31, false},  {"1fh", 31, false},  {"17q", 15, false},  {"17Q", 15, false},
        {"017", 15, false},  {"0x1f", 31, false}, {"0X1F", 31, false}, {"08", 8, false},
        {"0", 0, false},     {"42", 42, false},   {"-12", -12, false}, {"0x1fh", 31, false},
        {"19q", 0, true},    {"1e", 0, true},     {"", 0, true},       {"12 ", 0, true},
        {"0x", 0, true},     {"1FHx", 0, true},   {"q", 0, true},      {"abc", 0, true},
    };
    for (const auto& [text, value, error] : cases) {
        OPT_NUMBER_STATUS status;
        const long parsed = opt_parse_signed(nullptr, text, &status);
        EXPECT_EQ(std::tuple(status.error, status.overflow, error ? 0 : parsed), std::tuple(error, false, value))
            << '"' << text << '"';
    }
    // Overflow is told apart from a bad number, and errno is kept.
    errno = EDOM;
    OPT_NUMBER_STATUS status;
    (void)opt_parse_signed(nullptr, "999999999999999999999999", &status);
    EXPECT_TRUE(status.overflow && !status.error);
    EXPECT_EQ(errno, EDOM);
    EXPECT_EQ(opt_parse_unsigned(nullptr, "0xFFFFFFFF", &status), 0xFFFFFFFFul);
    EXPECT_FALSE(status.error || status.overflow);

    OPT_STATE state(test_table());
    EXPECT_EQ(opt_check_number(&state, T_MASK, "4294967295", 2, OPT_UNSIGNED_RANGE), 4294967295L);
    EXPECT_EQ(opt_check_number(&state, T_LEVEL, "9", 0, OPT_RANGE{1, 9}), 9);
}

// Each refusal names the option as spelled and the argument, and ends the run with status 1. (The missing
// arguments of text options, bad choices and spellings of the tool's own table: the golden cases.)
TEST_F(OptionEngineDeathTest, RefusedArgumentsChooseTheirMessage) {
    const char* const refusals[][2] = {
        {"s-5", "^error: argument to option -s \\(-5\\) is out of range \\(must be a\n   non-negative_number\\)\n$"},
        {"s99999999999999999999", "^error: argument to option -s \\(99999999999999999999\\) is out of range\n$"},
        {"s12x", "^error: argument to option -s \\(12x\\) is out of range\n$"},
        {"m-1", "non-negative_number"},
        {"m4294967296", "-m \\(4294967296\\) is out of range\n$"},
        {"L0", "^error: argument to option -L \\(0\\) is out of range \\(must be a number from 1 to 9\n$"},
        {"L=", "^error: option -L is missing its parameter 'level'\n$"},
        // An unknown choice lists only the ordinary ones.
        {"-mode=medium", "^error: bad argument to option --mode: should be one of \\{fast,slow\\}\n$"}};
    for (const auto& [word, message] : refusals)
        EXPECT_EXIT((void)parse(word), testing::ExitedWithCode(1), message) << word;
}

}  // namespace
