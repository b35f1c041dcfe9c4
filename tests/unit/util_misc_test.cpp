// Small helpers: xasprintf and allocation, case-insensitive strings, byte swapping. (The banner and build
// number: the tool's --version test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>

#include "util/byte_order.h"
#include "util/str_util.h"
#include "util/xalloc.h"

using namespace OFE;

namespace {

TEST(Xasprintf, ExactLengthOrFailure) {
    char* s = nullptr;
    EXPECT_EQ(xasprintf(&s, "%s-%d", "abc", 42), 6);
    EXPECT_STREQ(s, "abc-42");
    std::free(s);
    // A wide character that the C locale cannot convert makes formatting fail.
    EXPECT_LT(xasprintf(&s, "%ls", L"\x100"), 0);
    EXPECT_EQ(s, nullptr);
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator refuses such requests itself
TEST(XallocDeathTest, OutOfMemoryEndsTheProgram) {
    EXPECT_EXIT(xmalloc(SIZE_MAX - 16), ::testing::ExitedWithCode(1), "^ERROR: out of memory\n$");
    EXPECT_EXIT(xcalloc(SIZE_MAX / 2, 4), ::testing::ExitedWithCode(1), "^ERROR: out of memory\n$");
    EXPECT_EXIT(xrealloc(nullptr, SIZE_MAX - 16), ::testing::ExitedWithCode(1), "^ERROR: out of memory\n$");
}
#endif

TEST(SmallHelpers, CaseInsensitiveStringsAndByteOrder) {
    EXPECT_EQ(str_casecmp("Symbol", "sYMBOL"), 0);
    EXPECT_LT(str_casecmp("abc", "ABD"), 0);
    EXPECT_GT(str_casecmp("ABD", "abc"), 0);
    EXPECT_LT(str_casecmp("ab", "AB-"), 0);
    EXPECT_EQ(str_ncasecmp("textX", "TEXTy", 4), 0);
    EXPECT_NE(str_ncasecmp("textX", "TEXTy", 5), 0);
    const char* hay = "The .Text Section";
    EXPECT_EQ(str_casestr(hay, ".TEXT"), hay + 4);
    EXPECT_EQ(str_casestr(hay, "section"), hay + 10);
    EXPECT_EQ(str_casestr(hay, ""), hay);
    EXPECT_EQ(str_casestr(hay, "sections"), nullptr);
    // Byte swapping and the names of byte orders.
    uint16_t h = 0x1234;
    uint32_t w = 0x80223301u;
    swap16(h);
    swap32(w);
    EXPECT_EQ(std::tuple(h, w), std::tuple(uint16_t{0x3412}, 0x01332280u));
    EXPECT_STREQ(endianness_name(2), "big endian");
    EXPECT_STREQ(endianness_name(3), "unknown endianness");
}

}  // namespace
