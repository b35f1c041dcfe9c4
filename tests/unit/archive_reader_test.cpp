// The archive reader: the magic, the message buffer and hook, and a name table that claims gigabytes.
// (Names in both long-name styles, header fields, pad bytes and sizes that turn back: the golden cases of
// archives.)
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "archive/ar_reader.h"
#include "fixture.h"
#include "unit_support.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Every report of the reader, as "LEVEL message".
std::vector<std::string> reports;
void record(ar_reader*, int level, const char* message) { reports.push_back(std::to_string(level) + " " + message); }

std::string described(std::string_view description) {
    const std::vector<unsigned char> b = fixture::build(description);
    return {b.begin(), b.end()};
}

// An archive file of the given bytes, opened and handed to a reader named "lib.a" (unless told otherwise).
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
    // The member list, read once.
    std::vector<const ar_member*> members() {
        ar_read_index(reader);
        std::vector<const ar_member*> list;
        for (const ar_member* m = ar_first_member(reader); m && list.size() < 100; m = m->next) list.push_back(m);
        return list;
    }
    std::vector<std::string> names() {
        std::vector<std::string> list;
        for (const ar_member* m : members()) list.emplace_back(m->name);
        return list;
    }
};

using names = std::vector<std::string>;

TEST(ArchiveMagic, OnlyTheExactEightBytesAtTheStart) {
    for (const std::string bytes : {"!<arch>\n", "!<arch>\nanything", "!<arch>", "", "!<arch>\r\n", "!<ARCH>\n", "\n!<arch>\n"}) {
        archive a(bytes);
        std::fseek(pffile(a.input), 3, SEEK_SET);  // the test reads from the start wherever the handle stands
        EXPECT_EQ(ar_is_archive(a.reader), bytes.rfind("!<arch>\n", 0) == 0) << bytes;
    }
    EXPECT_FALSE(ar_is_archive(nullptr));

    reports.clear();
    ar_reader* no_handle = ar_open("none.a", nullptr, record);
    EXPECT_FALSE(ar_is_archive(no_handle));
    ar_member m;
    EXPECT_EQ(ar_member_stream(no_handle, &m), nullptr);
    ar_read_index(no_handle);
    EXPECT_EQ(ar_first_member(no_handle), nullptr);
    EXPECT_TRUE(reports.empty());
    ar_close(no_handle);

    archive empty("!<arch>\n");
    EXPECT_TRUE(empty.names().empty());
    EXPECT_TRUE(reports.empty());
}

TEST(ArchiveMessages, CutToTheBufferOrNotReportedWithoutAHook) {
    const std::string two = "archive gnu\nmember a.o text=\"12\"\nmember b.o text=\"34\"\n";
    // The message buffer holds 4095 characters; the name is cut with it.
    archive long_name(described(two + "truncate -5\n"), std::string(5000, 'n'));
    long_name.members();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size(), 2 + 4095u);
    EXPECT_EQ(reports[0].substr(0, 30), "1 Cannot read member header: '");

    // Without a hook nothing is reported and the members read are kept.
    archive silent(described(two + "truncate -5\n"), "lib.a", nullptr);
    EXPECT_EQ(silent.names(), (names{"a.o"}));
    EXPECT_TRUE(reports.empty());
}

// A handle that cannot seek: the member's seek failure is reported at level 3 and the handle is returned.
TEST(ArchiveMessages, MemberSeekFailure) {
    // No file reaches this offset: the seek fails, the failure is reported and the handle comes back.
    archive a("!<arch>\n", "far.a");
    ar_member m;
    m.data_offset = uint64_t{1} << 63;
    EXPECT_EQ(ar_member_stream(a.reader, &m), a.input);
    EXPECT_EQ(reports, (names{"3 Cannot read file: 'far.a'"}));
}

// Reads the archive with the data segment limited to what the process already uses plus 256 MiB; 0 when
// the index is empty and the table was reported, 2 otherwise, 3 when the limit cannot be set.
int read_with_little_memory(const std::string& bytes) {
    archive a(bytes);
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
TEST(ArchiveNameTable, AHugeClaimIsNotAllocated) {
    const std::string bytes = described("archive gnu\nmember a_long_member_name.o text=\"12\"\n"
                                        "patch names+48 text \"4294967294\"\n");
    EXPECT_EXIT(std::_Exit(read_with_little_memory(bytes)), ::testing::ExitedWithCode(0), "");
}

}  // namespace
