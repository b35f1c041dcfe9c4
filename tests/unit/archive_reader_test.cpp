// The archive reader: the magic, calls without an input, the message buffer, a member seek that fails, a
// name table that claims gigabytes and a member past 4 GiB. (Names in both long-name styles, header fields,
// pad bytes and sizes that turn back: the golden cases of archives.)
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "archive/ar_reader.h"
#include "fixture.h"
#include "ofe/object_file.h"
#include "ofe/of_symbol.h"
#include "unit_support.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Every report of the reader, as "LEVEL message".
std::vector<std::string> reports;
void record(ar_reader*, int level, const char* message) { reports.push_back(std::to_string(level) + " " + message); }

// An archive file of the given bytes (or of a fixture description's), handed to a reader named `name`.
struct archive {
    unit::temp_dir dir;
    PFILE* input;
    ar_reader* reader;

    explicit archive(const std::string& bytes, const std::string& name = "lib.a", AR_ERROR_HOOK hook = record)
        : input((reports.clear(), pfopen(dir.write("lib.a", bytes).c_str(), "rb"))),
          reader(ar_open(name.c_str(), input, hook)) {}
    ~archive() {
        ar_close(reader);
        pfclose(input);
    }
    archive(const archive&) = delete;
    // The names of the members, read once.
    std::vector<std::string> names() {
        ar_read_index(reader);
        std::vector<std::string> list;
        for (const ar_member* m = ar_first_member(reader); m && list.size() < 100; m = m->next)
            list.emplace_back(m->name);
        return list;
    }
};

std::string described(std::string_view description) {
    const std::vector<unsigned char> b = fixture::build(description);
    return {b.begin(), b.end()};
}

using names = std::vector<std::string>;

TEST(ArchiveReader, TheMagicIsTheExactEightBytesAtTheStartAndNoInputReadsNothing) {
    for (const std::string bytes : {"!<arch>\n", "!<arch>\nanything", "!<arch>", "", "!<arch>\r\n", "!<ARCH>\n", "\n!<arch>\n"}) {
        archive a(bytes);
        std::fseek(pffile(a.input), 3, SEEK_SET);  // the test reads from the start wherever the handle stands
        EXPECT_EQ(ar_is_archive(a.reader), bytes.rfind("!<arch>\n", 0) == 0) << bytes;
    }
    EXPECT_FALSE(ar_is_archive(nullptr));
    ar_reader* no_handle = ar_open("none.a", nullptr, record);
    EXPECT_FALSE(ar_is_archive(no_handle));
    ar_member m;
    EXPECT_EQ(ar_member_stream(no_handle, &m), nullptr);
    ar_read_index(no_handle);
    EXPECT_EQ(ar_first_member(no_handle), nullptr);
    EXPECT_TRUE(reports.empty());
    ar_close(no_handle);
}

TEST(ArchiveReader, MessagesAreCutToTheBufferAndAFailedSeekIsReported) {
    const std::string two = described("archive gnu\nmember a.o text=\"12\"\nmember b.o text=\"34\"\ntruncate -5\n");
    archive long_name(two, std::string(5000, 'n'));  // the name is cut with the message, at 4095 characters
    long_name.names();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size(), 2 + 4095u);
    EXPECT_EQ(reports[0].substr(0, 30), "1 Cannot read member header: '");

    // No file reaches this offset: the seek fails, the failure is reported and the handle comes back.
    archive far("!<arch>\n", "far.a");
    ar_member m;
    m.data_offset = uint64_t{1} << 63;
    EXPECT_EQ(ar_member_stream(far.reader, &m), far.input);
    EXPECT_EQ(reports, (names{"3 Cannot read file: 'far.a'"}));
}

// With the data segment limited to what the process already uses plus 256 MiB: 0 when the archive's member
// list is empty and only the name table was reported, 2 otherwise, 3 when the limit cannot be set.
int read_with_little_memory(archive& a) {
    std::ifstream status("/proc/self/status");
    rlim_t data_kb = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmData:", 0) == 0) data_kb = std::strtoull(line.c_str() + 7, nullptr, 10);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = (data_kb << 10) + (rlim_t{256} << 20);
    if (data_kb == 0 || setrlimit(RLIMIT_DATA, &limit) != 0) return 3;
    return a.names().empty() && reports == names{"1 Cannot read name table: 'lib.a'"} ? 0 : 2;
}

// A table claiming nearly 4 GiB in a small file is refused before any memory is taken for it.
TEST(ArchiveReader, ANameTableClaimingGigabytesIsNotAllocated) {
    archive a(described("archive gnu\nmember a_long_member_name.o text=\"12\"\npatch names+48 text \"4294967294\"\n"));
    EXPECT_EXIT(std::_Exit(read_with_little_memory(a)), ::testing::ExitedWithCode(0), "");
}

// After a first member of exactly 4 GiB (a sparse hole, a few kilobytes of disk), a member's offsets keep all
// 64 bits and its object reads from there.
TEST(ArchiveReader, AMemberPastFourGibibytes) {
    constexpr uint64_t second = 8 + 60 + (uint64_t{1} << 32);
    archive a(described("archive gnu\nmember hole.bin size=4294967296\n"), "big.a");
    const std::string x_o = described(
        "archive gnu\nmember x.o\n    elf32 le rel\n    section .text data=0011223344556677\n"
        "    symbol far_away value=4 section=.text type=func\n");
    // The file grows before the reader reads anything.
    std::filesystem::resize_file(a.dir.file("lib.a"), second);
    std::ofstream(a.dir.file("lib.a"), std::ios::binary | std::ios::app) << x_o.substr(8);
    ASSERT_EQ(a.names(), (names{"hole.bin", "x.o"}));
    const ar_member* x = ar_first_member(a.reader)->next;
    EXPECT_EQ(std::tuple(x->data_offset, x->size), std::tuple(second + 60, x_o.size() - 68));
    OBJECT_FILE* member =
        OBJECT_FILE::open(ar_member_stream(a.reader, x), static_cast<uint32_t>(x->size), x->name, nullptr, "big.a");
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->start_offset(), second + 60);
    ASSERT_NE(member->symbol_table(), nullptr);
    EXPECT_STREQ(member->symbol_table()->symbol_at(1)->name(), "far_away");
    EXPECT_TRUE(reports.empty());
    delete member;
}

}  // namespace
