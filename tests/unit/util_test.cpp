// The util library: DATA_MAP (readers at the edges, byte orders, strings and ULEB128, hex dumps, saving and
// file-backed windows), the file pool (eviction, transparent reopening, pinning, the handle table) with its checked
// stream wrappers, and the small helpers: byte swapping, xasprintf and allocation. (Directories, pipes and inputs
// that shrink while mapped: the golden cases and the input streams test. Case-insensitive matching: the golden
// cases of choices and help searches; the banner: the tool's --version test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "unit_support.h"
#include "util/byte_order.h"
#include "util/data_map.h"
#include "util/pfile.h"
#include "util/xalloc.h"

using namespace OFE;

namespace {

using bytes = std::vector<uint8_t>;

DATA_MAP map_of(const bytes& b) {
    DATA_MAP m;
    m.assign_bytes(b.data(), b.size());
    return m;
}

bytes bytes_of(const DATA_MAP& m) { return {m.data(), m.data() + m.size()}; }

std::string dump(DATA_MAP& m, uint64_t count, int expected_result = 0) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(m.hex_dump(f, count), expected_result);
    std::string text = unit::read_all(f);
    std::fclose(f);
    return text;
}

TEST(DataMap, ReadsThatPassTheEndYieldZeroAndStillAdvance) {
    DATA_MAP m = map_of({1, 2, 3, 4, 5, 6, 7, 8});
    m.set_cursor(5);
    EXPECT_EQ((std::tuple{m.read_u32(), m.cursor()}), std::tuple(0u, uint64_t{9}));
    m.set_cursor(4);
    EXPECT_EQ(m.read_u32(), 0x08070605u);
    EXPECT_EQ((std::tuple{m.read_u8(), m.cursor()}), std::tuple(0u, uint64_t{9}));
    uint8_t out[4] = {9, 9, 9, 9};
    m.set_cursor(6);
    m.read_bytes(out, 4);
    EXPECT_EQ(bytes(out, out + 4), bytes(4, 0));
    EXPECT_EQ(m.cursor(), 10u);
    DATA_MAP empty;
    EXPECT_EQ((std::tuple{empty.read_uint(8), empty.cursor()}), std::tuple(uint64_t{0}, uint64_t{8}));
}

// Widths other than 2 and 4 (whole words in both orders are in every golden input and written file).
TEST(DataMap, BothByteOrders) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big endian" : "little endian");
        DATA_MAP m;
        m.set_big_endian(big);
        m.write_uint(0x010203, 3);
        m.write_uint(0x1122334455667788ull, 8);
        const bytes want = big ? bytes{1, 2, 3, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}
                               : bytes{3, 2, 1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
        EXPECT_EQ(bytes_of(m), want);
        EXPECT_TRUE(m.modified());
        m.set_cursor(0);
        const uint64_t u24 = m.read_uint(3), u64 = m.read_uint(8);
        EXPECT_EQ(std::tuple(u24, u64), std::tuple(0x010203ull, 0x1122334455667788ull));
        m.set_cursor(1);
        EXPECT_EQ(m.read_uint(5), big ? 0x0203112233ull : 0x6677880102ull);
        m.reset();
        EXPECT_EQ(m.big_endian(), big);
    }
    DATA_MAP gap;  // writing past the end fills the gap with zeros
    gap.set_cursor(3);
    gap.write_u8(9);
    EXPECT_EQ(bytes_of(gap), (bytes{0, 0, 0, 9}));
}

// Strings and ULEB128 numbers at the end of the bytes, every ULEB128 length, and a string read in place that
// outlives changes to the map.
TEST(DataMap, StringsAndUleb128) {
    DATA_MAP s = map_of({'a', 'b', 0, 'c', 'd'});
    const char* ab = s.read_string();
    EXPECT_STREQ(ab, "ab");
    EXPECT_STREQ(s.read_string(), "");  // no terminator before the end
    EXPECT_EQ(s.cursor(), 6u);
    EXPECT_STREQ(s.read_string(), "");  // past the end
    EXPECT_EQ(s.cursor(), 7u);
    // Growing, copying over and resetting the map leave the string's bytes where they were.
    s.set_cursor(5);
    s.write_bytes(std::string(1 << 20, 'x').data(), 1 << 20);
    s = map_of({'z', 0});
    s.reset();
    EXPECT_STREQ(ab, "ab");

    const std::pair<uint32_t, uint64_t> values[] = {{0, 1},     {127, 1},   {128, 2},        {300, 2},
                                                    {16383, 2}, {16384, 3}, {0x0FFFFFFF, 4}, {0xFFFFFFFF, 5}};
    DATA_MAP u;
    for (const auto& [value, length] : values) {
        const uint64_t before = u.cursor();
        u.write_uleb128(value);
        EXPECT_EQ(u.cursor() - before, length) << value;
    }
    EXPECT_EQ(bytes(u.data() + 4, u.data() + 6), (bytes{0xAC, 0x02}));  // 300
    u.set_cursor(0);
    for (const auto& [value, length] : values) EXPECT_EQ(u.read_uleb128(), value);
    EXPECT_EQ((std::tuple{u.read_uleb128(), u.cursor()}), std::tuple(0u, u.size() + 1));
    DATA_MAP open_ended = map_of({0x80, 0x81});
    EXPECT_EQ((std::tuple{open_ended.read_uleb128(), open_ended.cursor()}), std::tuple(0u, uint64_t{3}));
}

// A hex dump counts offsets from the cursor and shows bytes past the data as 00 and "."; its layout is in the
// golden dumps of raw data. Saving pads what the map does not hold with zeros.
TEST(DataMap, HexDumpAndSave) {
    unit::diag_capture cap;
    unit::temp_dir dir;
    DATA_MAP m = map_of({'H', 'e', 'l', 'l', 'o', 0, 1, 2, 'x', 'y', 'z', 0x7f, 0x80, 0xff, ' ', '~', 'A', 0x0a, 'z', 0});
    m.set_cursor(16);
    EXPECT_EQ(dump(m, 6), "00000000:  41 0a 7a 00 00 00 " + std::string(10 * 3, ' ') + "A.z...\n");
    EXPECT_EQ(dump(m, 0), "");
    DIAG::settings().diag_wrap = false;
    EXPECT_EQ(dump(m, 0x100000000ull, -1), "");
    EXPECT_EQ(cap.take_sites(),
              "SITE:internal error #99924: (saving a single DATA_MAP with more than 4GB; unsupported)\n");

    DATA_MAP abcd = map_of({'a', 'b', 'c', 'd'});
    PFILE* out = pfopen(dir.file("out").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (const auto& [from, count] : {std::pair{0, 10}, {0, 0}, {2, 1}, {0, 5000}}) {
        abcd.set_cursor(from);
        EXPECT_EQ(abcd.save(out, count), 0);
    }
    EXPECT_EQ(pfclose(out), 0);
    EXPECT_EQ(unit::temp_dir::read(dir.file("out")),
              "abcd" + std::string(6, '\0') + "c" + "abcd" + std::string(4996, '\0'));
}

// A window on a file region, with the strings read from it.
TEST(DataMap, FileBackedWindows) {
    unit::temp_dir dir;
    unit::diag_capture cap;
    DIAG::settings().diag_wrap = false;
    std::string content = std::string("xyz\0", 4);
    for (size_t i = 4; i < 1024; ++i) content += static_cast<char>(i % 251 + 1);
    PFILE* f = pfopen(dir.write("kib", content).c_str(), "rb");
    ASSERT_NE(f, nullptr);

    // A region far larger than the file: the missing bytes read as zeros and are never held.
    DATA_MAP m;
    m.attach_file(f, 0, 0xFFFFFFFFull);
    EXPECT_FALSE(m.loaded());
    EXPECT_EQ(m.read_u32(), 0x007A7978u);
    m.set_cursor(1022);
    EXPECT_EQ(m.read_u32(), 0x00001413u);  // straddles the end of the file
    m.set_cursor(0x80000000ull);
    EXPECT_EQ((std::tuple{m.read_u32(), m.cursor()}), std::tuple(0u, 0x80000004ull));
    EXPECT_STREQ(m.read_string(), "");
    EXPECT_EQ(m.bytes_held(), 1024u);
    m.set_cursor(0);
    const char* xyz = m.read_string();
    const char* tail = m.read_string();  // runs to the end of the file, where zeros follow

    // An unmodified window copies as another unloaded window; a modified one copies its bytes.
    m.set_big_endian(true);
    DATA_MAP window = m;
    EXPECT_FALSE(window.loaded());
    EXPECT_EQ(window.file(), f);
    window.set_cursor(4);
    EXPECT_EQ(window.read_u16(), 0x0506u);
    m.set_cursor(0);
    m.write_u8(0xEE);
    DATA_MAP copy = m;
    EXPECT_TRUE(copy.loaded());
    copy.set_cursor(0);
    EXPECT_EQ(copy.read_u16(), 0xEE79u);
    copy.set_cursor(0);
    copy.write_u8(0x11);
    m.set_cursor(0);
    EXPECT_EQ(m.read_u8(), 0xEEu);

    // A load shorter than the size: a read that starts inside the loaded bytes but ends after them is reported.
    DATA_MAP part;
    part.attach_file(f, 0, 8);
    part.set_size(16);
    part.set_cursor(8);
    EXPECT_EQ(part.read_u32(), 0u);
    EXPECT_EQ(cap.take(), "");
    part.set_cursor(6);
    part.read_u32();
    EXPECT_EQ(part.cursor(), 10u);
    EXPECT_THAT(cap.take_sites(),
                ::testing::MatchesRegex("SITE:internal error #99924: \\(buffer of size 10 not big "
                                        "enough on const DATA_MAP (0x)?[0-9a-fA-F]+ of size 16\\)\n"));
    // Strings read in place outlive a write, an unload and the file's own close.
    m.unload();
    EXPECT_EQ(pfclose(f), 0);
    EXPECT_STREQ(xyz, "xyz");
    EXPECT_EQ(tail, content.substr(4));
}

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

TEST(ByteOrder, SwapsAndTheUnknownOrder) {
    uint16_t h = 0x1234;
    uint32_t w = 0x80223301u;
    swap16(h);
    swap32(w);
    EXPECT_EQ(std::tuple(h, w), std::tuple(uint16_t{0x3412}, 0x01332280u));
    EXPECT_STREQ(endianness_name(3), "unknown endianness");
}

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

}  // namespace
