// The option engine on a test table: parsing words, the relations of the conflict matrix, clearing,
// stored arguments of every kind, the argument forms, enumerated choices, the history and the trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options/opt_engine.h"
#include "options_test_table.h"
#include "unit_support.h"

namespace {

using namespace unit;

// Command-line words that next_argument hands out.
std::vector<const char*> pending_words;
const char* take_pending() {
    if (pending_words.empty()) return nullptr;
    const char* word = pending_words.front();
    pending_words.erase(pending_words.begin());
    return word;
}

class OptionEngine : public testing::Test {
protected:
    OptionEngine() : state(test_table()) {
        pending_words.clear();
        opt_set_next_argument(take_pending);
    }
    ~OptionEngine() override { opt_set_next_argument(nullptr); }

    int parse(const char* word) { return opt_parse_arg(&state, word, nullptr); }
    void fresh() { state = OPT_STATE(test_table()); }

    OPT_STATE state;
};

using OptionEngineDeathTest = OptionEngine;

TEST_F(OptionEngine, LettersInOneWordAndLongSpellings) {
    EXPECT_EQ(parse("cd"), 1);
    EXPECT_TRUE(opt_is_set(&state, T_GAMMA));
    EXPECT_TRUE(opt_is_set(&state, T_DELTA));
    EXPECT_EQ(state.options[T_GAMMA].parsed, 1u);

    // An unknown letter drops the rest but keeps what came before.
    fresh();
    const char* word = "-aqc";
    const char* at = nullptr;
    EXPECT_EQ(opt_parse_arg(&state, word + 1, &at), 0);
    EXPECT_EQ(at, word + 1);  // one character before the unknown letter
    EXPECT_TRUE(opt_is_set(&state, T_ALPHA));
    EXPECT_FALSE(opt_is_set(&state, T_GAMMA));
    EXPECT_EQ(parse(""), 1);  // a lone "-"

    // Long spellings of flags match whole.
    fresh();
    EXPECT_EQ(parse("-alphabet"), 0);
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));
    EXPECT_EQ(parse("-alpha"), 1);
    EXPECT_TRUE(opt_is_set(&state, T_ALPHA));
    EXPECT_EQ(opt_spelled_name(&state, T_ALPHA), "--alpha");
    EXPECT_EQ(parse("-"), 0);  // "--" names no option
}

TEST_F(OptionEngine, OverridesWarnQuietClearsDoNotAndUnrelatedOrdersAreAccepted) {
    diag_capture diags;
    ASSERT_EQ(parse("a"), 1);
    ASSERT_EQ(parse("b"), 1);
    EXPECT_EQ(diags.take(), "warning: option -b overrides preceding option -a\n");
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));
    EXPECT_TRUE(opt_is_set(&state, T_BETA));
    EXPECT_EQ(diag_error_count(), 0);

    // A quiet clear says something only with debugging and remarks.
    DIAG::settings().show_remarks = true;
    ASSERT_EQ(parse("a"), 1);
    ASSERT_EQ(parse("c"), 1);
    EXPECT_EQ(diags.take(), "");
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));

    state.option_debug = true;
    testing::internal::CaptureStdout();
    ASSERT_EQ(parse("-alpha"), 1);
    ASSERT_EQ(parse("c"), 1);
    (void)testing::internal::GetCapturedStdout();
    EXPECT_EQ(diags.take(), "remark: option -c clears preceding option --alpha\n");
    EXPECT_FALSE(opt_is_set(&state, T_ALPHA));

    // An order that the matrix does not relate is accepted.
    fresh();
    ASSERT_EQ(parse("x"), 1);
    ASSERT_EQ(parse("a"), 1);  // the matrix relates x set after a, not a set after x
    EXPECT_TRUE(opt_is_set(&state, T_X));
    EXPECT_TRUE(opt_is_set(&state, T_ALPHA));
    state.no_conflicts = true;
    ASSERT_EQ(parse("b"), 1);
    EXPECT_TRUE(opt_is_set(&state, T_ALPHA));
    EXPECT_EQ(diags.take(), "");
}

TEST_F(OptionEngineDeathTest, AConflictNamesBothSpellingsAndEndsTheRun) {
    EXPECT_EXIT(
        {
            (void)parse("-alpha");
            (void)parse("x");
        },
        testing::ExitedWithCode(1), "^error: option -x conflicts with previous option --alpha\n$");
    EXPECT_EXIT((void)parse("a-exclusive"), testing::ExitedWithCode(1),
                "^error: option --exclusive conflicts with previous option -a\n$");
}

TEST_F(OptionEngine, ClearingDropsValuesAndHistoryButNotAPersistentOption) {
    ASSERT_EQ(parse("d"), 1);
    opt_clear(&state, T_DELTA);
    EXPECT_TRUE(opt_is_set(&state, T_DELTA));

    ASSERT_EQ(parse("Nfirst"), 1);
    const uint32_t changes = state.options[T_NAME].changes;
    opt_clear(&state, T_NAME);
    EXPECT_FALSE(opt_is_set(&state, T_NAME));
    EXPECT_EQ(state.options[T_NAME].changes, changes + 1);
    EXPECT_EQ(opt_get_text(&state, T_NAME, 0), nullptr);
    for (const OPT_HISTORY_ENTRY& e : state.history) EXPECT_NE(e.id, T_NAME);

    opt_clear(&state, 99);  // ids beyond the table are ignored
    opt_set(&state, 99);
    EXPECT_FALSE(opt_is_set(&state, 99));
}

TEST_F(OptionEngine, StoredArgumentsOfEveryKind) {
    EXPECT_EQ(opt_get_text(&state, T_NAME, 0), nullptr);  // not given
    setarg(&state, T_NAME, "abc");
    setarg(&state, T_COUNT, -5);
    setarg(&state, T_MASK, 255);
    setarg(&state, T_MODE, 2);
    setarg(&state, T_MODES, 2);
    setarg(&state, T_MODES, 42);  // a value without a name
    setarg(&state, T_FILES, "one");
    setarg(&state, T_FILES, 7);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "abc");
    EXPECT_STREQ(opt_get_text(&state, T_COUNT, 0), "-5");
    EXPECT_STREQ(opt_get_text(&state, T_MASK, 0), "0xFF");
    EXPECT_STREQ(opt_get_text(&state, T_MODE, 0), "slow");
    EXPECT_STREQ(opt_get_text(&state, T_MODES, 1), "42");
    EXPECT_STREQ(opt_get_text(&state, T_FILES, 1), "7");
    EXPECT_EQ(opt_get_text(&state, T_FILES, 2), nullptr);
    EXPECT_EQ(opt_get_text(&state, 99, 0), nullptr);

    // Numbers of every kind.
    fresh();
    setarg(&state, T_NAME, "0x10");
    setarg(&state, T_MASK, "1FH");
    setarg(&state, T_NUMS, 3);
    setarg(&state, T_NUMS, "17q");
    EXPECT_EQ(opt_get_num(&state, T_NAME, 0), 16);
    EXPECT_EQ(opt_get_num(&state, T_MASK, 0), 31);
    EXPECT_EQ(opt_get_num(&state, T_NUMS, 1), 15);
    EXPECT_EQ(opt_get_num(&state, T_NUMS, 2), 0);
    EXPECT_EQ(opt_get_num(&state, T_COUNT, 0), 0);

    // Formatted texts survive fourteen further calls.
    fresh();
    setarg(&state, T_COUNT, 1234);
    setarg(&state, T_MASK, 1);
    const char* first = opt_get_text(&state, T_COUNT, 0);
    for (int i = 0; i < 14; ++i) (void)opt_get_text(&state, T_MASK, 0);
    EXPECT_STREQ(first, "1234");

    // The first setarg sets the option once.
    fresh();
    setarg(&state, T_NAME, "a");
    EXPECT_EQ(state.options[T_NAME].state, 1u);
    EXPECT_EQ(state.options[T_NAME].changes, 1u);
    setarg(&state, T_NAME, "b");  // replaces the single value
    EXPECT_EQ(state.options[T_NAME].state, 1u);
    EXPECT_EQ(state.options[T_NAME].values.size(), 1u);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "b");
}

TEST_F(OptionEngine, HistoryKeepsOneEntryPerSingleOptionAndAllOfALists) {
    ASSERT_EQ(parse("Nfirst"), 1);
    ASSERT_EQ(parse("a"), 1);
    ASSERT_EQ(parse("Nsecond"), 1);
    ASSERT_EQ(parse("fx"), 1);
    ASSERT_EQ(parse("fy"), 1);
    std::vector<std::string> seen;
    for (const OPT_HISTORY_ENTRY& e : state.history) seen.push_back(std::to_string(e.id) + ":" + e.text);
    EXPECT_EQ(seen, (std::vector<std::string>{"0:", "4:second", "9:x", "9:y"}));
}

TEST_F(OptionEngine, ArgumentsAttachFollowAnEqualsSignOrComeAsTheNextWord) {
    ASSERT_EQ(parse("Nattached"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "attached");
    ASSERT_EQ(parse("N=equals"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "equals");
    pending_words = {"next", "file.o"};
    ASSERT_EQ(parse("aN"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "next");
    EXPECT_EQ(pending_words.size(), 1u);
    ASSERT_EQ(parse("-name=long"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_NAME, 0), "long");
    EXPECT_EQ(opt_spelled_name(&state, T_NAME), "--name");
    ASSERT_EQ(parse("s=0x20"), 1);
    EXPECT_EQ(opt_get_num(&state, T_COUNT, 0), 32);

    // An attached-only argument may be left out.
    fresh();
    pending_words = {"file.o"};
    ASSERT_EQ(parse("-opt"), 1);
    EXPECT_TRUE(opt_is_set(&state, T_OPT));
    EXPECT_EQ(opt_get_text(&state, T_OPT, 0), nullptr);
    EXPECT_EQ(pending_words.size(), 1u);  // the next word is not taken
    ASSERT_EQ(parse("-opt=5"), 1);
    EXPECT_EQ(opt_get_num(&state, T_OPT, 0), 5);
}

TEST_F(OptionEngineDeathTest, AMissingArgumentOrAnUnknownChoiceEndsTheRun) {
    EXPECT_EXIT((void)parse("N"), testing::ExitedWithCode(1), "^error: option -N is missing its parameter 'name'\n$");
    EXPECT_EXIT((void)parse("-name="), testing::ExitedWithCode(1),
                "^error: option --name is missing its parameter 'name'\n$");
    EXPECT_EXIT((void)parse("-opt="), testing::ExitedWithCode(1), "^error: option --opt is missing its parameter 'n'\n$");
    // An unknown choice lists only the ordinary ones.
    EXPECT_EXIT((void)parse("-mode=medium"), testing::ExitedWithCode(1),
                "^error: bad argument to option --mode: should be one of \\{fast,slow\\}\n$");
    EXPECT_EXIT((void)parse("M"), testing::ExitedWithCode(1), "^error: option -M is missing its parameter 'fast,slow'\n$");
}

TEST_F(OptionEngine, ChoicesMatchIgnoringCase) {
    ASSERT_EQ(parse("MSLOW"), 1);
    EXPECT_EQ(opt_get_num(&state, T_MODE, 0), 2);
    ASSERT_EQ(parse("-mode=Fast"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_MODE, 0), "fast");
    ASSERT_EQ(parse("M=secret"), 1);  // accepted though never listed
    EXPECT_EQ(opt_get_num(&state, T_MODE, 0), 4);
    pending_words = {"slow"};
    ASSERT_EQ(parse("e"), 1);
    ASSERT_EQ(parse("efast"), 1);
    EXPECT_STREQ(opt_get_text(&state, T_MODES, 0), "slow");
    EXPECT_STREQ(opt_get_text(&state, T_MODES, 1), "fast");

    // A deprecated choice is accepted with a warning.
    fresh();
    testing::internal::CaptureStderr();
    ASSERT_EQ(parse("Mold"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: argument 'old' to option '-M' is deprecated and will be removed in a future release\n");
    EXPECT_EQ(opt_get_num(&state, T_MODE, 0), 3);
}

TEST_F(OptionEngineDeathTest, TableErrorsAreFatal) {
    EXPECT_EXIT(setarg(&state, T_ALPHA, 1L), testing::ExitedWithCode(1),
                "^fatal error: unhandled clause in setarg\\(\\) \\[1\\]\n$");
    EXPECT_EXIT(setarg(&state, T_ALPHA, "1"), testing::ExitedWithCode(1), "unhandled clause in setarg\\(\\) \\[2\\]");
    EXPECT_EXIT((void)opt_get_num(&state, T_ALPHA, 0), testing::ExitedWithCode(1),
                "^fatal error: unhandled option handler \\[3\\]\n$");
    EXPECT_EXIT((void)opt_get_text(&state, T_ALPHA, 0), testing::ExitedWithCode(1),
                "^fatal error: list handler for non-list option \\[4\\]\n$");
    EXPECT_EXIT((void)opt_get_param(&state, T_MODE, "x", "mode", 6, OPT_SIGNED_RANGE), testing::ExitedWithCode(1),
                "^fatal error: corruption in option handler\n$");
    EXPECT_DEATH((void)opt_parse_arg(&state, nullptr, nullptr), "opt != NULL");

    // Forms beyond the table give the rest unchanged.
    fresh();
    const char* rest = "=anything";
    EXPECT_EQ(opt_get_param(&state, T_NAME, rest, "name", 18, OPT_SIGNED_RANGE), rest);
}

TEST_F(OptionEngine, TraceFollowsEveryStep) {
    state.option_debug = true;
    testing::internal::CaptureStdout();
    ASSERT_EQ(parse("a"), 1);
    ASSERT_EQ(parse("M=slow"), 1);
    opt_clear(&state, T_ALPHA);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "test option debug: Parsed option id -a/0\n"
              "test option debug: Set    option id -a to state 1\n"
              "test option debug: Add option id -a to history with arg \n"
              "test option debug: Parsed option id -M/8\n"
              "test option debug: Set    option id -M to state 1\n"
              "test option debug: Set    option id -M arg to value '2' (0 args) (slow)\n"
              "test option debug: Add option id -M to history with arg slow\n"
              "test option debug: Clear  option id -a to state 0\n");
}

}  // namespace
