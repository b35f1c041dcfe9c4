// The tool's option table: the fixed spellings, the conflict matrix, the listing's snapshot and the
// version banner. What the options do is told by the golden cases of the command line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "nm/nm_listing.h"
#include "nm/nm_tool.h"
#include "options/GENERATED_nmkite_MSYS/optobj.h"
#include "unit_support.h"

namespace {

struct SPELLING {
    const char* word;  // as typed, with its leading dash
    uint32_t id;
};

// Every spelling of an option without a value, or with one that can be attached.
const SPELLING fixed_spellings[] = {
    {"-a", 0},  {"-x", 0},  {"--all-symbols", 0},
    {"-sb", 1}, {"--stderr-line-buffered", 1},
    {"-c", 2},  {"-k", 2},  {"--cnull-symbols", 2},
    {"-d", 3},  {"-b", 3},  {"--debug-symbols", 3},
    {"--message-wrap", 5},
    {"-D", 6},  {"-y", 6},  {"--dynamic", 6},
    {"-Werror", 7}, {"--warnings-as-errors", 7},
    {"-l", 8},  {"-L", 8},  {"--long-form", 8},
    {"-g", 9},  {"-G", 9},  {"--extern-only", 9},
    {"-O", 11}, {"-w", 11}, {"--output", 11},
    {"-A", 12}, {"-o", 12}, {"--print-file-name", 12},
    {"-q", 13}, {"-Q", 13}, {"--quiet", 13},
    {"-p", 14}, {"-P", 14}, {"--no-sort", 14},
    {"-r", 15}, {"-R", 15}, {"--reverse-sort", 15},
    {"-n", 16}, {"-v", 16}, {"--numeric-sort", 16},
    {"-t", 17}, {"-T", 17}, {"--tag-symbols", 17},
    {"-u", 19}, {"-e", 19}, {"--undefined-only", 19},
};

TEST(ToolOptions, EachSpellingSetsItsOwnOptionOnly) {
    unit::diag_capture diags;  // puts wrapping and warnings-as-errors back
    for (const SPELLING& s : fixed_spellings) {
        OPT_STATE state(&nmkite_option_table);
        std::string word = s.word + 1;
        if (s.id == nmkite_opt::output_file) word += "=out.txt";
        ASSERT_EQ(opt_parse_arg(&state, word.c_str(), nullptr), 1) << s.word;
        for (uint32_t id = 0; id < nmkite_opt::count; ++id)
            EXPECT_EQ(opt_is_set(&state, id), id == s.id) << s.word << " and option " << id;
        EXPECT_EQ(opt_spelled_name(&state, s.id), s.word);
    }
}

TEST(ToolOptions, TheMatrixHoldsExactlyTheFourConflicts) {
    const uint32_t n = nmkite_opt::count;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (uint32_t row = 0; row < n; ++row)
        for (uint32_t column = 0; column < n; ++column)
            if (uint8_t relation = nmkite_option_table.conflicts[row * n + column]) {
                EXPECT_EQ(relation, OPT_CONFLICTS);
                pairs.emplace_back(row, column);
            }
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(pairs, (std::vector<P>{{9, 0}, {9, 19}, {19, 0}, {19, 9}}));
}

TEST(ToolOptions, TheSnapshotReadsEveryListingOption) {
    OPT_STATE state(&nmkite_option_table);
    EXPECT_FALSE(take_option_snapshot(&state).globals_only);
    for (const char* word : {"gAlDcdt", "pr", "-numeric-sort", "x"}) ASSERT_EQ(opt_parse_arg(&state, word, nullptr), 1);
    const NM_OPTIONS o = take_option_snapshot(&state);
    EXPECT_TRUE(o.globals_only && o.prepend_file_name && o.long_form && o.dynamic_symbols && o.cnull_symbols &&
                o.debug_symbols && o.tag_info_symbols && o.no_sort && o.reverse_sort && o.sort_by_value &&
                o.all_symbols);
    EXPECT_FALSE(o.undefined_only);
}

int run_tool(std::vector<const char*> words) {
    words.push_back(nullptr);
    std::fflush(stdout);
    dup2(2, 1);  // so that the death test sees standard output
    return nm_main(static_cast<int>(words.size() - 1), const_cast<char**>(words.data()));
}

TEST(ToolOptionsDeathTest, VersionPrintsTheBannerAndBuildNumber) {
    EXPECT_EXIT(run_tool({"/some/where/nmkite", "--version", "never-read.o"}), testing::ExitedWithCode(0),
                "^Kite Name Utility {23}v20\\.12\\.0\\.STS\nBuild Number [A-Za-z0-9-]+\n$");
}

}  // namespace
