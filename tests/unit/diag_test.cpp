// Diagnostics: the error limit and the fatal endings, through the exit hook and for real, and the severities
// that -Werror moves; and runs of the tool inside one process, as the fuzz targets run it: a run that ends
// early comes back through the exit hook with its status and the input it was reading released, and a run
// after it starts afresh. How messages wrap, and what the options are, is shown by the tools' golden cases.
#include "DIAG/diag.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "DIAG/user_msg_api.h"
#include "fixture.h"
#include "nm/nm_tool.h"
#include "unit_support.h"
#include "util/pfile.h"

namespace {

using namespace DIAG;

// Every early end goes through diag_exit: a hook that throws turns each into an exception carrying the status.
struct ended {
    int status;
};
void throw_status(int status) { throw ended{status}; }

// The status `run` returns, or the one it ends with through the exit hook (then `after_end` is called).
template <class RUN>
int status_of(RUN&& run, void (*after_end)() = nullptr) {
    try {
        return run();
    } catch (const ended& e) {
        if (after_end) after_end();
        return e.status;
    }
}

TEST(DiagDeathTest, ExitHookEndsWhatWouldEndTheProgram) {
    unit::diag_capture cap;
    USER_MSG_CONTEXT* ctx = user_msg_context();
    diag_set_exit_hook(throw_status);
    EXPECT_EQ(status_of([&]() -> int { user_msg_fatal(ctx, "cannot open %s", "x.o"); }), 1);
    EXPECT_EQ(cap.take(), "fatal error: cannot open x.o\n");
    diag_reset_error_count();
    // The hundredth error is still only counted; the next one is printed, then ends the run.
    EXPECT_EQ(status_of([&] {
                  for (int i = 1; i <= 101; ++i) user_msg_error(ctx, "e%d", i);
                  return -1;
              }),
              1);
    const std::string said = cap.take();
    EXPECT_EQ(said.substr(said.find("error: e100\n")),
              "error: e100\nerror: e101\nfatal error: error limit reached; 100 errors detected\n");
    EXPECT_EQ(status_of([]() -> int { diag_exit(0); }), 0);
    diag_set_exit_hook(nullptr);
    EXPECT_EXIT(diag_exit(3), ::testing::ExitedWithCode(3), "");
    // An internal failure aborts, naming where it was raised and what failed.
    settings().output_stream = nullptr;
    EXPECT_EXIT(user_msg_die(ctx, "OF_X::f", "bad %d", 7), ::testing::KilledBySignal(SIGABRT),
                "DIAG/user_msg_api\\.cpp:[0-9]+:internal fatal error #99926: \\(OF_X::f: bad 7\\)\n");
}

// -Werror moves the warning kinds that are neither fixed nor internal; a remap never makes a fatal error
// less, nor anything advice.
TEST(Diag, RemapSeverityMovesOnlyRemappableKinds) {
    unit::diag_capture cap;
    diag_find_kind(DIAG::MSG_GAPPERROR)->fixed_severity = 0;  // internal, so it stays even when not fixed
    diag_remap_severity(DIAG::SEV_ERROR, DIAG::SEV_WARNING);
    diag_remap_severity(DIAG::SEV_WARNING, DIAG::SEV_ADVICE);
    diag_remap_severity(DIAG::SEV_FATAL, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(DIAG::MSG_GAPPERROR)->severity, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(24002)->severity, DIAG::SEV_WARNING);
    EXPECT_EQ(diag_find_kind(24007)->severity, DIAG::SEV_FATAL);
    diag_remap_severity(DIAG::SEV_WARNING, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(24003)->severity, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(DIAG::MSG_GWARNING)->severity, DIAG::SEV_WARNING);  // fixed
}

// The listing file that a run of the tool ended early leaves open.
void close_output() {
    if (nm_tool().output && nm_tool().output != OFE::pfstdout()) pfclose(nm_tool().output);
}

TEST(ToolRuns, EarlyEndsComeBackThroughTheExitHook) {
    unit::temp_dir dir;
    unit::diag_capture diagnostics;
    const std::string object = dir.file("a.o"), truncated = dir.file("truncated.o"), listing = dir.file("list");
    fixture::build_to(object, "elf32 le rel\nsection .text data=00\nsymbol main section=.text\n");
    fixture::build_to(truncated, "elf32 le rel\nsection .text data=00\ntruncate -20\n");
    diag_set_exit_hook(throw_status);
    auto run = [&](std::vector<std::string> words) {
        words.insert(words.begin(), "nmkite");
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        const int status =
            status_of([&] { return nm_main(static_cast<int>(words.size()), argv.data()); }, close_output);
        delete nm_tool().options;
        nm_tool() = NM_TOOL{};
        return std::to_string(status) + ":" + unit::temp_dir::read(listing);
    };
    const int open_before = OFE::pf_open_count();
    const std::string first = run({"-l", "-O", listing, object});
    EXPECT_NE(first.find("main"), std::string::npos) << first;
    EXPECT_EQ(run({"-l", "-O", listing, object}), first) << "every run starts afresh: the long form's header again";
    // An object whose reading leaves an error pending ends the run while it is open.
    EXPECT_EQ(run({truncated, object}).substr(0, 2), "1:");
    EXPECT_NE(diagnostics.take().find("truncated.o: section"), std::string::npos);
    EXPECT_EQ(OFE::pf_open_count(), open_before) << "every input released";
    diag_set_exit_hook(nullptr);
}

}  // namespace
