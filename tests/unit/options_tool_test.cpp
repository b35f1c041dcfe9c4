// Runs of the tool inside one process, as the fuzz targets run it: a run that ends early comes back through
// the exit hook with its status and the input it was reading released, and a run after it starts afresh.
// What the options and messages are is told by the golden cases.
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

TEST(ToolRuns, EarlyEndsComeBackThroughTheExitHook) {
    struct ended {
        int status;
    };
    unit::temp_dir dir;
    unit::diag_capture diagnostics;
    const std::string object = dir.file("a.o"), truncated = dir.file("truncated.o"), listing = dir.file("list");
    fixture::build_to(object, "elf32 le rel\nsection .text data=00\nsymbol main section=.text\n");
    fixture::build_to(truncated, "elf32 le rel\nsection .text data=00\ntruncate -20\n");
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
            if (nm_tool().output && nm_tool().output != OFE::pfstdout()) pfclose(nm_tool().output);
        }
        delete nm_tool().options;
        nm_tool() = NM_TOOL{};
        std::ifstream in(listing, std::ios::binary);
        return std::to_string(status) + ":" + std::string(std::istreambuf_iterator<char>(in), {});
    };
    const int open_before = OFE::pf_open_count();
    const std::string first = run({"-l", "-O", listing, object});
    EXPECT_NE(first.find("main"), std::string::npos) << first;
    EXPECT_EQ(run({"-l", "-O", listing, object}), first) << "every run starts afresh: the long form's header again";
    // An object whose reading leaves an error pending ends the run while it is open.
    EXPECT_EQ(run({truncated, object}).substr(0, 2), "1:");
    EXPECT_NE(diagnostics.take().find("truncated.o: section"), std::string::npos);
    EXPECT_EQ(OFE::pf_open_count(), open_before) << "every input released";
    DIAG::diag_set_exit_hook(nullptr);
}

}  // namespace
