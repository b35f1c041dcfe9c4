// The archive reader: the magic, member headers, both long-name styles, the member index and every
// message it reports.
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
    // The member's data, read from where ar_member_stream leaves the handle.
    std::string data(const ar_member* m) {
        std::string text(m->size, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), pffile(ar_member_stream(reader, m))));
        return text;
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

// GNU style: the "/" index and the "//" table are stepped over; "/<digits>" (and nothing else) refers to
// the table, and a field ending in "/" loses it.
TEST(ArchiveNames, GnuStyleReferencesAndUnescaping) {
    archive a(described(R"(archive gnu
index alpha=short.o beta=#2
member short.o text="ab"
member "dir/sub|pipe||double_name.o" text="x"
member exactly_16_chars text="y"
member with/slash text="z"
member first namefield="/0"
member middle namefield="/3"
member past namefield="/999"
member bad_digits namefield="/1x"
member plain_field namefield="kept_as_is"
)"));
    EXPECT_EQ(a.names(), (names{"short.o", "dir/sub|pipe||double_name.o", "exactly_16_chars", "with/slash",
                                "dir/sub|pipe||double_name.o", "/sub|pipe||double_name.o", "/999", "/1x",
                                "kept_as_is"}));
    EXPECT_EQ(reports, (names{"1 Corrupt member name: 'lib.a'"}));

    // A table entry that runs to the table's end without a terminator ends there.
    archive b(described("archive gnu\nmember // text=\"ab/\\nlast\"\nmember x namefield=\"/4\"\n"));
    EXPECT_EQ(b.names(), (names{"last"}));
    EXPECT_TRUE(reports.empty());
}

// "<filenames>/" style: the user id is the table offset, 0 meaning none; the short name must agree with the
// entry over at most 15 characters. The table is 56 bytes: "\n", then entries at 1, 27 and 49.
TEST(ArchiveNames, FilenamesStyleOffsetsAndComparison) {
    archive a(described(R"(archive filenames
member <filenames>/ text="\nanother_long_name_here.o/\ndir|sub||pipe||||x.o/\nshort/\n"
member a namefield="another_long_na/" uid=1
member b namefield="another_long_naZ" uid=1
member c namefield="dir|sub||pipe||/" uid=27
member d namefield="short/" uid=49
member e namefield="zero/" uid=0
member f namefield="shor/" uid=49
member g namefield="another/" uid=1
member h namefield="far/" uid=56
member i namefield="neg/" uid="-1"
member j namefield="last/" uid=55
)"));
    EXPECT_EQ(a.names(), (names{"another_long_name_here.o", "another_long_name_here.o", "dir/sub|pipe||x.o",
                                "short", "zero", "shor", "another", "far", "neg", "last"}));
    const std::string corrupt = "1 Corrupt member name: 'lib.a'";
    EXPECT_EQ(reports, (names{corrupt, corrupt, corrupt, corrupt, corrupt}));
}

// The table is found first, or second after the index; anywhere later the special names are ordinary
// members, though "//" and "<filenames>/" still choose the style of the names after them.
TEST(ArchiveNames, SpecialNamesByPosition) {
    archive first(described("archive gnu\nmember a_long_member_name.o text=\"1\"\n"));
    EXPECT_EQ(first.names(), (names{"a_long_member_name.o"}));
    EXPECT_TRUE(reports.empty());

    archive late(described(R"(archive gnu
member short.o text="1"
member // text="late_long_name.o/\n"
member ref namefield="/0"
member / text="ab"
member <filenames>/ date="" uid=""
)"));
    EXPECT_EQ(late.names(), (names{"short.o", "//", "/0", "/", "<filenames>/"}));
    EXPECT_TRUE(reports.empty());

    archive switched(described(R"(archive gnu
member // text="x/\nfirst_long_name.o/\n"
member a namefield="/3"
member <filenames>/ text="zz"
member b namefield="/3"
member c namefield="first_long_name/" uid=3
)"));
    EXPECT_EQ(switched.names(), (names{"first_long_name.o", "<filenames>/", "/3", "first_long_name.o"}));
    EXPECT_TRUE(reports.empty());

    // A long name that resolves to "<filenames>/" switches the style as well.
    archive resolved(described(R"(archive gnu
member // text="<filenames>|/\nlong_member_name.o/\n"
member a namefield="/0"
member b namefield="/14"
)"));
    EXPECT_EQ(resolved.names(), (names{"<filenames>/", "/14"}));
    EXPECT_TRUE(reports.empty());
}

// Sizes, data offsets and the pad byte after odd data; the handle is left at each member's data.
TEST(ArchiveIndex, OddSizesAndThePadByte) {
    archive a(described(R"(archive plain
member a.txt text="abc"
member b.txt text="de"
member c.txt text="f" pad=none
member d.txt text="gh"
)"));
    const auto m = a.members();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0]->size, 3u);
    const uint64_t offsets[] = {68, 132, 194};  // 132 = 8 + 60 + 3 + 1 pad + 60
    const char* const data[] = {"abc", "de", "f"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m[i]->data_offset, offsets[i]);
        EXPECT_EQ(a.data(m[i]), data[i]);
    }
    // Without its pad byte the next header stands one byte early, and the one read instead is damaged.
    EXPECT_EQ(reports, (names{"1 Corrupt member header: 'lib.a'"}));

    archive last(described("archive plain\nmember a.txt text=\"abc\" pad=none\n"));
    EXPECT_EQ(last.names(), (names{"a.txt"}));
    EXPECT_TRUE(reports.empty());
}

// A size field that parses as a negative number, or that points past the end, never brings the walk back
// to a header it has read: the list ends after that member, in the prologue as well.
TEST(ArchiveIndex, SizesThatWouldTurnBackOrRunPastTheEnd) {
    for (const char* size : {"-1", "-5", "-60", "-68", "-128", "-999999999", "4294967295", "100000"}) {
        SCOPED_TRACE(size);
        archive a(described(std::string("archive plain\nmember a.o text=\"0123\"\nmember b.o text=\"xy\" size=\"") +
                            size + "\"\nmember c.o text=\"0123\"\nmember d.o text=\"0123\"\n"));
        EXPECT_EQ(a.names(), (names{"a.o", "b.o"}));
        EXPECT_TRUE(reports.empty());
    }
    archive index(described("archive gnu\nindex f=a.o\nmember a.o text=\"0123\"\nmember b.o text=\"0\"\n"
                            "patch index+48 text \"-68       \"\n"));
    EXPECT_TRUE(index.names().empty());
    EXPECT_TRUE(reports.empty());

    archive table(described("archive gnu\nmember a_long_member_name.o text=\"0123\"\nmember b.o text=\"0\"\n"
                            "patch names+48 text \"-78       \"\n"));
    EXPECT_TRUE(table.names().empty());
    EXPECT_EQ(reports, (names{"1 Cannot read name table: 'lib.a'"}));
}

// Numeric fields read as "%ld": leading blanks and a sign, reading stops at the first other character.
// Date and user id must parse for ordinary members only; the size and the trailer for every member.
TEST(ArchiveHeaders, FieldParsingAndCorruptHeaders) {
    archive good(described(R"(archive plain
member a.o text="12" size=" 2"
member b.o text="12" size="+2"
member c.o text="12" size="2 junk" date="-7" uid=" 3x"
member / text="12" date="" uid="junk"
)"));
    const auto m = good.members();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[3]->name, std::string("/"));
    EXPECT_EQ(m[0]->size + m[1]->size + m[2]->size, 6u);
    EXPECT_EQ(m[2]->date, -7);
    EXPECT_TRUE(reports.empty());

    for (const char* damage : {"size=\"\"", "size=\"-\"", "size=\"x2\"", "fmag=600b", "fmag=0a60", "date=\"\"",
                               "date=\"+\"", "uid=\"\"", "uid=\"x\""}) {
        SCOPED_TRACE(damage);
        archive a(described(std::string("archive plain\nmember a.o text=\"12\"\nmember b.o text=\"12\" ") + damage +
                            "\nmember c.o text=\"12\"\n"));
        EXPECT_EQ(a.names(), (names{"a.o"}));
        EXPECT_EQ(reports, (names{"1 Corrupt member header: 'lib.a'"}));
    }
}

TEST(ArchiveMessages, TextsLevelsAndTheKeptMembers) {
    const std::string two = "archive gnu\nmember a.o text=\"12\"\nmember b.o text=\"34\"\n";
    // One byte of a header is already too short; none at all is the end.
    for (const char* cut : {"truncate -5\n", "truncate -61\n"}) {
        archive truncated(described(two + cut));
        EXPECT_EQ(truncated.names(), (names{"a.o"}));
        EXPECT_EQ(reports, (names{"1 Cannot read member header: 'lib.a'"}));
    }

    // A table that the file ends in.
    archive cut_table(described("archive gnu\nmember a_long_member_name.o text=\"12\"\ntruncate 80\n"));
    EXPECT_TRUE(cut_table.names().empty());
    EXPECT_EQ(reports, (names{"1 Cannot read name table: 'lib.a'"}));

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
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    PFILE* pipe_input = pfopen(("/proc/self/fd/" + std::to_string(fds[0])).c_str(), "rb");
    ASSERT_NE(pipe_input, nullptr);
    reports.clear();
    ar_reader* reader = ar_open("pipe.a", pipe_input, record);
    ar_member m;
    m.data_offset = 68;
    EXPECT_EQ(ar_member_stream(reader, &m), pipe_input);
    EXPECT_EQ(reports, (names{"3 Cannot read file: 'pipe.a'"}));
    ar_close(reader);
    pfclose(pipe_input);
    ::close(fds[0]);
    ::close(fds[1]);
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
