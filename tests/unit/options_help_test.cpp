// The encoding of table texts, help wrapping, the help list and the help search on the test table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "options/opt_engine.h"
#include "options_test_table.h"

namespace {

using unit::test_table;

std::string wrapped(const std::string& text, size_t indent) {
    testing::internal::CaptureStdout();
    help_wrap(stdout, text.c_str(), std::string(indent, ' ').c_str());
    return testing::internal::GetCapturedStdout();
}

TEST(OptionTexts, DecodingSwapsDashesAndTurnsLettersByThirteenIntoBuffersThatLast) {
    EXPECT_STREQ(opt_decode_text("%%bhgchg=svyr"), "--output=file");
    EXPECT_STREQ(opt_decode_text("Nm-%09_,"), "Az%-09_,");
    EXPECT_STREQ(opt_decode_text(nullptr), "");
    const std::string all = "The quick brown fox, -x --y %z [=a,b] 0123456789 ZYXW";
    EXPECT_EQ(opt_decode_text(std::string(opt_decode_text(all.c_str())).c_str()), all);
    // A decoded text survives four further calls.
    const char* first = opt_decode_text("nop");
    for (int i = 0; i < 4; ++i) (void)opt_decode_text("a much longer text that needs a bigger buffer than before");
    EXPECT_STREQ(first, "abc");
}

TEST(HelpWrap, BreaksAtTheLastBlankThatFitsAndAtNewlines) {
    // 60 characters with a 31-column indent: at most 48 on the first line, 32 blanks before the rest.
    const std::string text = "Lists only the symbols that are defined in the object itself";
    ASSERT_EQ(text.size(), 60u);
    EXPECT_EQ(wrapped(text, 31), "Lists only the symbols that are defined in the\n" + std::string(32, ' ') +
                                     "object itself\n");
    EXPECT_EQ(wrapped("", 31), "\n");
    EXPECT_EQ(wrapped("short", 31), "short\n");
    // A line of exactly the width, followed by a blank, stays whole.
    const std::string full(48, 'x');
    EXPECT_EQ(wrapped(full + " y", 31), full + "\n" + std::string(32, ' ') + "y\n");
    // A word longer than a line runs on to its end.
    const std::string word(60, 'w');
    EXPECT_EQ(wrapped(word + " tail", 31), word + "\n" + std::string(32, ' ') + "tail\n");
    EXPECT_EQ(wrapped(word, 31), word + "\n");
    // Later lines end within the width of the previous break, so that they too end by column 79.
    const std::string p46(46, 'p');
    EXPECT_EQ(wrapped(full + " " + p46 + " q r", 31),
              full + "\n" + std::string(32, ' ') + p46 + "\n" + std::string(32, ' ') + "q r\n");
    // An embedded newline breaks the line.
    EXPECT_EQ(wrapped("one\ntwo", 10), "one\n\n" + std::string(11, ' ') + "two\n");
}

std::string printed_list(int mode, const std::vector<std::pair<std::string, int32_t>>& entries) {
    help_list_begin("Heading:", 28, mode);
    for (const auto& [synopsis, key] : entries) help_list_add(synopsis.c_str(), "text", key);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(help_list_print(true, 0));
    return testing::internal::GetCapturedStdout();
}

TEST(HelpList, ModeThreeOrdersByKeyThenBySynopsisOthersByAddingOrSynopsis) {
    const std::string out = printed_list(3, {{"-b", 500}, {"--apple", 500}, {"-Z", 500}, {"-c", 600}});
    EXPECT_EQ(out,
              "Heading:\n"
              "  -c                           Text\n"
              "  -Z                           Text\n"
              "  --apple                      Text\n"
              "  -b                           Text\n");
    // Other modes keep the order of adding or sort by synopsis.
    EXPECT_EQ(printed_list(2, {{"-b", 1}, {"-a", 2}}),
              "Heading:\n  -b                           Text\n  -a                           Text\n");
    EXPECT_EQ(printed_list(0, {{"-b", 9}, {"-a", 1}}),
              "Heading:\n  -a                           Text\n  -b                           Text\n");
}

TEST(HelpList, ALongSynopsisStandsOnItsOwnLine) {
    help_list_begin("H:", 28, 3);
    help_list_add("-W,--a-very-long-option-name-indeed", "long names wrap", 500);
    help_list_add("-x", "", 500);
    testing::internal::CaptureStdout();
    (void)help_list_print(true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "H:\n  -W,--a-very-long-option-name-indeed\n" +
                                                          std::string(31, ' ') + "Long names wrap\n  -x" +
                                                          std::string(27, ' ') +"\n");
    help_list_begin("H:", 28, 3);
    help_list_add("-W,--a-very-long-option-name-indeed", "cut", 500);
    testing::internal::CaptureStdout();
    (void)help_list_print(false, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "H:\n  -W,--a-very-long-option-name Cut\n");
}

TEST(HelpSynopsis, NamesAndTheArgument) {
    OPT_STATE state(test_table());
    EXPECT_STREQ(opt_synopsis(&state, unit::T_NAME, nullptr), "-N,--name=name");
    EXPECT_STREQ(opt_synopsis(&state, unit::T_OPT, nullptr), "--opt[=n]");
    EXPECT_STREQ(opt_synopsis(&state, unit::T_NAME, "--name"), "-N=name");
    EXPECT_STREQ(opt_synopsis(&state, unit::T_ALPHA, "-a"), "-a,--alpha");  // only aliases are skipped
}

// One search result whose synopsis fits its column.
std::string row(const std::string& synopsis, const std::string& text) {
    std::string padded = synopsis;
    padded.resize(20, ' ');
    return "  " + padded + " " + "   " + text + "\n";
}

std::string searched(const char* text, bool* matched) {
    OPT_STATE state(test_table());
    testing::internal::CaptureStdout();
    *matched = opt_help(&state, text, true);
    return testing::internal::GetCapturedStdout();
}

TEST(HelpSearch, PrefixesOfNamesInAnyCaseAndWordsOfTheTexts) {
    bool matched = false;
    EXPECT_EQ(searched("--AL", &matched), row("-a,--alpha", "the first flag"));
    EXPECT_TRUE(matched);
    EXPECT_EQ(searched("-z", &matched), ">> Help: No options match the string '-z'\n");  // hidden
    EXPECT_FALSE(matched);
    // Words of the help texts show the long help when there is one.
    EXPECT_EQ(searched("ALPHA", &matched), row("-b,--beta", "beta overrides alpha") +
                                               row("-c,--gamma", "gamma clears alpha") +
                                               row("-x,--exclusive", "Cannot follow alpha."));
    EXPECT_TRUE(matched);
    // A long synopsis pushes the text to the next line.
    EXPECT_EQ(searched("long names", &matched), "  -W,--a-very-long-option-name-indeed \n" + std::string(26, ' ') +
                                                    "long names wrap\n");
}

TEST(HelpFull, GroupsListTheirVisibleOptionsAndTheBasicListItsKeys) {
    OPT_STATE state(test_table());
    state.tool_name = "/usr/local/bin/tester-x";
    testing::internal::CaptureStdout();
    EXPECT_TRUE(opt_help(&state, "", true));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\nUsage: tester-x [-options] filename\n"), std::string::npos);
    EXPECT_NE(out.find("Basic Options:\n  -d                           Stays once set\n\n"), std::string::npos);
    const size_t zero = out.find("Group Zero:\n  -c,--gamma                   Gamma clears alpha\n"
                                 "  -W,--a-very-long-option-name-indeed\n");
    EXPECT_NE(zero, std::string::npos);
    EXPECT_EQ(out.find("-z"), std::string::npos);
    EXPECT_NE(out.find("Group One:\n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 2), "\n\n");

    state.tool_name = nullptr;  // without a program name, help uses the table's
    testing::internal::CaptureStdout();
    (void)opt_help(&state, nullptr, true);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Usage: tester [-options]"), std::string::npos);
}

}  // namespace
