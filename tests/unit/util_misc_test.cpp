// Small helpers: xasprintf and allocation, byte swapping. (Case-insensitive matching is shown by the
// golden cases of choices and help searches, the banner by the tool's --version test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <tuple>

#include "util/byte_order.h"
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

TEST(ByteOrder, SwapsAndTheUnknownOrder) {
    uint16_t h = 0x1234;
    uint32_t w = 0x80223301u;
    swap16(h);
    swap32(w);
    EXPECT_EQ(std::tuple(h, w), std::tuple(uint16_t{0x3412}, 0x01332280u));
    EXPECT_STREQ(endianness_name(3), "unknown endianness");
}

}  // namespace
