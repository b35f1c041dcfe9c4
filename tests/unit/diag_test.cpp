// Diagnostics: line wrapping, severities and remapping, error counting and the fatal endings. (The message
// numbers, raise sites, indentation and source positions, which nmkite never turns on, are left out.)
#include "DIAG/diag.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>

#include "DIAG/user_msg_api.h"
#include "unit_support.h"

namespace {

using namespace DIAG;

// A diagnostic of a kind whose format takes two words, as the option engine raises them.
struct kind_message final : DIAG::DIAGNOSTIC {
    const char *a, *b;
    kind_message(int32_t code, const char* a_, const char* b_)
        : DIAGNOSTIC(diag_find_kind(code), "opts.cpp", 42), a(a_), b(b_) {}
    std::unique_ptr<DIAGNOSTIC> clone() const override { return std::make_unique<kind_message>(*this); }
    void emit() override {
        diag_header(*this);
        diag_printf(*this, kind->std_msg, a, b);
        diag_finish(*this);
    }
};

class Diag : public ::testing::Test {
protected:
    unit::diag_capture cap;
    USER_MSG_CONTEXT* ctx = user_msg_context();

    std::string error(const std::string& text) {
        user_msg_error(ctx, "%s", text.c_str());
        return cap.take();
    }
    static std::string rep(char c, size_t n) { return std::string(n, c); }
};
using DiagDeathTest = Diag;

TEST_F(Diag, WrapsAtTheLastBlankThatFits) {
    EXPECT_EQ(error("short"), "error: short\n");
    // The blank falls on the first column that does not fit: the line is exactly full.
    EXPECT_EQ(error(rep('a', 36) + " " + rep('b', 35) + " tail"),
              "error: " + rep('a', 36) + " " + rep('b', 35) + "\n   tail\n");
    // A run of blanks at the break is dropped from both lines.
    EXPECT_EQ(error(rep('a', 65) + "  " + rep('b', 10)), "error: " + rep('a', 65) + "\n   " + rep('b', 10) + "\n");
    // A word that does not fit the rest of the line moves whole to a continuation line.
    EXPECT_EQ(error(rep('a', 73) + " tail"), "error: \n   " + rep('a', 73) + "\n   tail\n");
    // Only a word longer than a whole line is split, at the limit of the line it starts on.
    EXPECT_EQ(error(rep('a', 100)), "error: " + rep('a', 72) + "\n   " + rep('a', 28) + "\n");
    EXPECT_EQ(error("xy " + rep('a', 100)), "error: xy\n   " + rep('a', 76) + "\n   " + rep('a', 24) + "\n");
    EXPECT_EQ(diag_error_count(), 6);
}

TEST_F(Diag, NewlinesAndWrappingOff) {
    EXPECT_EQ(error("first\nsecond\nthird"), "error: first\n   second\n   third\n");
    user_msg_error(ctx, "ends in newline\n");
    user_msg_error(ctx, "next");
    EXPECT_EQ(cap.take(), "error: ends in newline\n\nerror: next\n");

    settings().diag_wrap = false;
    std::string longer;
    for (int i = 0; i < 20; ++i) longer += "word" + std::to_string(i) + " ";
    EXPECT_EQ(error(longer + "end"), "error: " + longer + "end\n");
    EXPECT_EQ(error(longer + "\nmore"), "error: " + longer + "\n   more\n");
}

TEST_F(Diag, SeveritiesShownAndCounted) {
    user_msg_warning(ctx, "careful %d", 1);
    user_msg_remark(ctx, "quiet");
    EXPECT_EQ(cap.take(), "warning: careful 1\n");
    EXPECT_EQ(diag_error_count(), 0);

    settings().show_remarks = true;
    settings().show_warnings = false;
    user_msg_remark(ctx, "heard");
    user_msg_warning(ctx, "unseen");
    EXPECT_EQ(cap.take(), "remark: heard\n");
    settings().count_nothing = true;
    EXPECT_EQ(error("uncounted"), "error: uncounted\n");
    EXPECT_EQ(diag_error_count(), 0);
    settings().count_nothing = false;

    user_msg_set_warnings_as_errors(ctx);
    user_msg_warning(ctx, "promoted");
    EXPECT_EQ(cap.take(), "error: promoted\n");
    EXPECT_EQ(diag_error_count(), 1);

    settings().output_stream = nullptr;
    EXPECT_EQ(DIAG::stream_for(DIAG::SEV_REMARK), stdout);
    EXPECT_EQ(DIAG::stream_for(DIAG::SEV_WARNING), stderr);
    EXPECT_EQ(DIAG::stream_for(-1), stderr);
    EXPECT_STREQ(DIAG::severity_word(-1), "(unknown)");
}

TEST_F(Diag, RemapSeverityMovesOnlyRemappableKinds) {
    diag_remap_severity(DIAG::SEV_WARNING, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(24003)->severity, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(DIAG::MSG_GWARNING)->severity, DIAG::SEV_WARNING);  // fixed
    kind_message(24003, "-a", "-b").emit();
    EXPECT_EQ(cap.take(), "error: option -a overrides preceding option -b\n");
    EXPECT_EQ(diag_error_count(), 1);

    // An internal kind keeps its severity even when it is not marked fixed.
    diag_find_kind(DIAG::MSG_GAPPERROR)->fixed_severity = 0;
    diag_remap_severity(DIAG::SEV_ERROR, DIAG::SEV_WARNING);
    EXPECT_EQ(diag_find_kind(DIAG::MSG_GAPPERROR)->severity, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(24002)->severity, DIAG::SEV_WARNING);

    // Never to no-error, advice or debug; never from advice or fatal error.
    for (DIAG::diag_severity to : {1, 2, 3}) diag_remap_severity(DIAG::SEV_WARNING, to);
    EXPECT_EQ(diag_find_kind(24002)->severity, DIAG::SEV_WARNING);
    diag_remap_severity(DIAG::SEV_FATAL, DIAG::SEV_ERROR);
    EXPECT_EQ(diag_find_kind(24007)->severity, DIAG::SEV_FATAL);
    diag_find_kind(24004)->severity = DIAG::SEV_ADVICE;
    diag_remap_severity(DIAG::SEV_ADVICE, DIAG::SEV_REMARK);
    EXPECT_EQ(diag_find_kind(24004)->severity, DIAG::SEV_ADVICE);
}

// Every early end goes through diag_exit: a hook that throws turns each into an exception carrying the status.
TEST_F(Diag, ExitHookEndsWhatWouldEndTheProgram) {
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
    EXPECT_EQ(status_of([&] {
                  for (int i = 1; i <= 101; ++i) user_msg_error(ctx, "e%d", i);
              }),
              1);
    EXPECT_NE(cap.take().find("error: e101\nfatal error: error limit reached; 100 errors detected\n"), std::string::npos);
    EXPECT_EQ(status_of([] { diag_exit(0); }), 0);
    diag_set_exit_hook(nullptr);
    EXPECT_EXIT(diag_exit(3), ::testing::ExitedWithCode(3), "");
}

TEST_F(DiagDeathTest, ErrorLimitFatalDieAndWidthAssertion) {
    settings().output_stream = nullptr;
    EXPECT_EXIT(
        {
            for (int i = 1; i <= 100; ++i) user_msg_error(ctx, "e%d", i);
            std::fputs("still running\n", stderr);
            user_msg_error(ctx, "e101");
        },
        ::testing::ExitedWithCode(1),
        "error: e100\nstill running\nerror: e101\nfatal error: error limit reached; 100 errors detected\n$");
    EXPECT_EXIT(user_msg_fatal(ctx, "cannot open %s", "x.o"), ::testing::ExitedWithCode(1),
                "^fatal error: cannot open x.o\n$");
    EXPECT_EXIT(user_msg_die(ctx, "OF_X::f", "bad %d", 7), ::testing::KilledBySignal(SIGABRT),
                "DIAG/user_msg_api\\.cpp:[0-9]+:internal fatal error #99926: \\(OF_X::f: bad 7\\)\n");
    settings().diag_cols = 5;  // no room left after the indentation
    settings().indent = 2;
    EXPECT_DEATH(user_msg_error(ctx, "x"), "diag_cols > \\(indent \\+ wrap_indent\\)");
}

}  // namespace
