// Runs of the tool inside one process, as the fuzz targets run it. What the tool's options do, every spelling
// and every conflict, is told by the golden cases of the command line; the version banner, whose build number
// no golden case can hold, by the nmkite_version test.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DIAG/diag.h"
#include "fixture.h"
#include "nm/nm_listing.h"
#include "nm/nm_tool.h"
#include "unit_support.h"
#include "util/pfile.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// With an exit hook that throws, a run that the tool ends early comes back with its status, the input file
// it was reading released; once the listing's state is reset, a run prints what a first run prints.
TEST(ToolRuns, EarlyEndsComeBackThroughTheExitHook) {
    struct ended {
        int status;
    };
    unit::temp_dir dir;
    unit::diag_capture diagnostics;
    const std::string object = dir.file("a.o");
    fixture::build_to(object, "elf32 le rel\nsection .text data=00\nsymbol main section=.text\n");
    const std::string listing = dir.file("listing.txt");
    DIAG::diag_set_exit_hook([](int status) { throw ended{status}; });
    auto run = [&](std::vector<std::string> words) {
        words.insert(words.begin(), "nmkite");
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        int status = -1;
        try {
            status = nm_main(static_cast<int>(words.size()), argv.data());
        } catch (const ended& e) {
            status = e.status;
            // The output file, when the run got as far as opening it.
            if (nm_tool().output && nm_tool().output != OFE::pfstdout()) pfclose(nm_tool().output);
        }
        delete nm_tool().options;
        nm_tool() = NM_TOOL{};
        return status;
    };
    const int open_before = OFE::pf_open_count();
    EXPECT_EQ(run({"-l", "-O", listing, object}), 0);
    const std::string first = read_file(listing);
    EXPECT_NE(first.find("main"), std::string::npos);
    EXPECT_EQ(run({"-l", "-O", listing, object}), 0);
    EXPECT_EQ(read_file(listing), first) << "every run starts afresh: the long form's header again";

    // A fatal error before any input is open, and an object whose reading leaves an error pending.
    const std::string truncated = dir.file("truncated.o");
    fixture::build_to(truncated, "elf32 le rel\nsection .text data=00\ntruncate -20\n");
    EXPECT_EQ(run({"-O", listing, truncated, object}), 1);
    { const std::string said = diagnostics.take(); EXPECT_NE(said.find("truncated.o: section"), std::string::npos) << said; }
    EXPECT_EQ(run({"-O", listing, object, dir.file("missing.o")}), 1);
    EXPECT_EQ(diagnostics.take(), "fatal error: cannot open \"" + dir.file("missing.o") + "\" for input\n\n");
    EXPECT_EQ(run({"-u", "-g", object}), 1);
    EXPECT_EQ(OFE::pf_open_count(), open_before) << "every input released";
    DIAG::diag_set_exit_hook(nullptr);
}

}  // namespace
