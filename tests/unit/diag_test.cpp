// Diagnostics: the error limit and the fatal endings, through the exit hook and for real, and the severities
// that -Werror moves. How messages wrap and where their newlines go is shown by the tools' golden cases.
#include "DIAG/diag.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "DIAG/user_msg_api.h"
#include "unit_support.h"

namespace {

using namespace DIAG;

// Every early end goes through diag_exit: a hook that throws turns each into an exception carrying the status.
TEST(DiagDeathTest, ExitHookEndsWhatWouldEndTheProgram) {
    unit::diag_capture cap;
    USER_MSG_CONTEXT* ctx = user_msg_context();
    struct ended {
        int status;
    };
    diag_set_exit_hook([](int status) { throw ended{status}; });
    auto status_of = [](auto&& run) {
        try {
            run();
        } catch (const ended& e) {
            return e.status;
        }
        return -1;
    };
    EXPECT_EQ(status_of([&] { user_msg_fatal(ctx, "cannot open %s", "x.o"); }), 1);
    EXPECT_EQ(cap.take(), "fatal error: cannot open x.o\n");
    diag_reset_error_count();
    // The hundredth error is still only counted; the next one is printed, then ends the run.
    EXPECT_EQ(status_of([&] {
                  for (int i = 1; i <= 101; ++i) user_msg_error(ctx, "e%d", i);
              }),
              1);
    const std::string said = cap.take();
    EXPECT_EQ(said.substr(said.find("error: e100\n")),
              "error: e100\nerror: e101\nfatal error: error limit reached; 100 errors detected\n");
    EXPECT_EQ(status_of([] { diag_exit(0); }), 0);
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

}  // namespace
