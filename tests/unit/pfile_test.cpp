// The file pool (eviction, transparent reopening, pinning, the handle table) and the checked stream wrappers.
// (Directories, pipes and inputs that shrink while mapped: the golden cases and the input streams test.)
#include "util/pfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "unit_support.h"

using namespace OFE;

namespace {

class Pool : public ::testing::Test {
protected:
    unit::temp_dir dir;
    unit::diag_capture cap;
    std::vector<PFILE*> handles;

    PFILE* open(const std::string& name, const char* mode) {
        PFILE* h = pfopen(dir.file(name).c_str(), mode);
        if (h) handles.push_back(h);
        return h;
    }
    ~Pool() override {
        for (PFILE* h : handles) pfclose(h);
    }
};

TEST(PfileReopenMode, NeverTruncatesAndKeepsBinaryAndUpdateMarks) {
    const char* const table[][2] = {{"r", "r"},   {"rb", "rb"},   {"r+", "r+"},   {"rb+", "r+b"}, {"w", "r+"},
                                    {"w+", "r+"}, {"wb", "r+b"},  {"w+b", "r+b"}, {"a", "a"},     {"a+", "a+"},
                                    {"ab", "ab"}, {"ab+", "a+b"}, {"x", "r"},     {"", "r"},      {"rtb", "rb"}};
    for (const auto& row : table) EXPECT_STREQ(pf_reopen_mode(row[0]), row[1]) << "mode " << row[0];
}

TEST_F(Pool, SixteenthOpenEvictsTheLeastRecentlyUsedAndReopensIt) {
    for (int i = 0; i < 15; ++i) ASSERT_NE(open(std::string("f").append(std::to_string(i)), "w"), nullptr);
    const std::vector<PFILE*> h = handles;
    ASSERT_EQ(pf_open_count(), 15);
    std::fputs("hello", pffile(h[0]));  // h[0] is now the most recently used
    pfpin(h[1], 1);                     // and h[1] may not be closed
    ASSERT_NE(open("f15", "w"), nullptr);
    EXPECT_EQ(pf_open_count(), 15);
    EXPECT_EQ(h[2]->stream, nullptr);
    EXPECT_NE(h[0]->stream, nullptr);
    EXPECT_NE(h[1]->stream, nullptr);

    for (PFILE* p : handles)
        if (p != h[0] && p != h[2]) pffile(p);
    ASSERT_NE(open("f16", "w"), nullptr);
    ASSERT_EQ(h[0]->stream, nullptr);

    // Reopened read-write at the saved offset: the written bytes stay and writing goes on after them.
    FILE* again = pffile(h[0]);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(h[0]->reopen_count, 1u);
    EXPECT_EQ(h[0]->mode, "r+");
    EXPECT_EQ(std::ftell(again), 5);
    std::fputs(" world", again);
    EXPECT_EQ(pf_open_count(), 15);
    std::erase(handles, h[0]);
    EXPECT_EQ(pfclose(h[0]), 0);
    EXPECT_EQ(unit::temp_dir::read(dir.file("f0")), "hello world");
    EXPECT_EQ(cap.take(), "");
}

TEST_F(Pool, PinnedFilesAndStandardHandles) {
    const std::string path = dir.write("data", "0123456789");
    for (int i = 0; i < 15; ++i) {
        ASSERT_NE(open("data", "rb"), nullptr);
        pfpin(handles.back(), 1);
    }
    EXPECT_EQ(open("data", "rb"), nullptr);
    EXPECT_EQ(open("missing", "rb"), nullptr);
    EXPECT_EQ(pf_open_count(), 15);
    pfpin(handles[7], 0);
    ASSERT_NE(open("data", "rb"), nullptr);
    EXPECT_EQ(handles[7]->stream, nullptr);
    EXPECT_STREQ(pfname(handles[0]), path.c_str());

    for (PFILE* std_handle : {pfstdin(), pfstdout(), pfstderr()}) EXPECT_EQ(pfclose(std_handle), 0);
    EXPECT_GE(fileno(stdin), 0);  // still open
    EXPECT_EQ(pfstdout()->stream, stdout);
    EXPECT_STREQ(pfname(pfstderr()), "(stderr)");
    EXPECT_EQ(cap.take(), "");  // a failed open reports nothing itself
}

TEST_F(Pool, WrapperMisuseIsReportedAsInternalError) {
    DIAG::settings().diag_wrap = false;
    ASSERT_NE(open("out", "w+b"), nullptr);
    FILE* s = pffile(handles[0]);
    char buf[4] = {};
    // Each call in turn: whether it was refused (no items, or -1), and what it reports.
    const std::pair<bool, std::string> calls[] = {
        {pfread(nullptr, 1, 1, s) == 0, "pfread called with a NULL buffer pointer"},
        {pfread(buf, 0, 4, s) == 0, "pfread called with a NULL buffer pointer"},  // a buffer of no bytes
        {pfread(buf, 4, 0, s) == 0, "pfread called with a NULL buffer pointer"},
        {pfread(buf, 1, 1, nullptr) == 0, "pfread called with a NULL FILE pointer"},
        {pfwrite(nullptr, 0, 0, nullptr, false) == 0, "pfwrite called with a NULL buffer pointer"},
        {pfwrite(buf, 0, 1, s, false) == 0, "pfwrite called requesting zero-size elements"},
        {pfwrite(buf, 1, 0, s, false) == 0, "pfwrite called requesting zero elements"},
        {pfwrite(buf, 1, 1, nullptr, false) == 0, "pfwrite called with a NULL FILE pointer"},
        {pfseek(nullptr, 0, SEEK_SET) == -1, "pfseek called with a NULL FILE pointer"},
        {pfseek(s, -1, SEEK_SET) == -1, "pfseek called with SEEK_SET, but offset is negative"},
        {pfseeko(nullptr, 0, SEEK_SET) == -1, "pfseeko called with a NULL FILE pointer"},
        {pfseeko(s, -1, SEEK_SET) == -1, "pfseeko called with SEEK_SET, but offset is negative"},
        {pfseek(s, -100, SEEK_CUR) == -1, "call to pfseek failed:  " + std::string(std::strerror(EINVAL))},
        {pftell(nullptr) == -1, "pftell called with a NULL FILE pointer"},
        {pftello(nullptr) == -1, "pftello called with a NULL FILE pointer"}};
    std::string expected;
    for (const auto& [refused, text] : calls) {
        EXPECT_TRUE(refused) << text;
        expected += "SITE:internal error #99924: (" + text + ")\n";
    }
    EXPECT_EQ(cap.take_sites(), expected);
    EXPECT_EQ(DIAG::diag_error_count(), 15);

    // A short write is reported unless the caller asks for quiet.
    dir.write("ro", "x");
    ASSERT_NE(open("ro", "rb"), nullptr);
    EXPECT_EQ(pfwrite("z", 1, 1, pffile(handles[1]), true), 0u);
    EXPECT_EQ(cap.take(), "");
    EXPECT_EQ(pfwrite("z", 1, 1, pffile(handles[1]), false), 0u);
    EXPECT_EQ(cap.take_sites(), "SITE:internal error #99924: (pfwrite only wrote 0 elements; 1 were requested)\n");
}

}  // namespace
