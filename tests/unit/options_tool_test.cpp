// The version banner, which no golden case can hold because of its build number. What the tool's options
// do, every spelling and every conflict, is told by the golden cases of the command line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "nm/nm_tool.h"

namespace {

TEST(ToolOptionsDeathTest, VersionPrintsTheBannerAndBuildNumber) {
    std::vector<const char*> words = {"/some/where/nmkite", "--version", "never-read.o", nullptr};
    auto run = [&] {
        std::fflush(stdout);
        dup2(2, 1);  // so that the death test sees standard output
        return nm_main(3, const_cast<char**>(words.data()));
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "^Kite Name Utility {23}v20\\.12\\.0\\.STS\nBuild Number [A-Za-z0-9-]+\n$");
}

}  // namespace
