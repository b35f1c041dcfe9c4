// An archive member that lies past 4 GiB: its offsets keep all 64 bits and its object reads from there. The
// file is sparse, so it costs a few kilobytes of disk.
#include <gtest/gtest.h>

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

void problem(ar_reader*, int, const char* message) { ADD_FAILURE() << message; }

TEST(LargeFiles, AnArchiveMemberPastFourGibibytes) {
    constexpr uint64_t four_gib = uint64_t{1} << 32;
    unit::temp_dir dir;
    // A first member of exactly 4 GiB (a sparse hole), then the object.
    auto header = [](const std::string& name, uint64_t size) {
        char h[61];
        std::snprintf(h, sizeof h, "%-16s%-12d%-6d%-6d%-8s%-10llu`\n", name.c_str(), 0, 0, 0, "644",
                      static_cast<unsigned long long>(size));
        return std::string(h, 60);
    };
    const std::string path = dir.write("big.a", "!<arch>\n" + header("hole.bin/", four_gib));
    const uint64_t second = 8 + 60 + four_gib;
    std::filesystem::resize_file(path, second);
    const std::vector<unsigned char> object = fixture::build(
        "elf32 le rel\nsection .text data=0011223344556677\nsymbol far_away value=4 section=.text type=func\n");
    std::ofstream(path, std::ios::binary | std::ios::app)
        << header("x.o/", object.size()) << std::string(object.begin(), object.end());

    PFILE* input = pfopen(path.c_str(), "rb");
    ar_reader* reader = ar_open("big.a", input, problem);
    ASSERT_TRUE(ar_is_archive(reader));
    ar_read_index(reader);
    const ar_member* x = ar_first_member(reader)->next;
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(std::tuple(std::string(x->name), x->data_offset, x->size), std::tuple("x.o", second + 60, object.size()));
    OBJECT_FILE* member = OBJECT_FILE::open(ar_member_stream(reader, x), static_cast<uint32_t>(x->size), x->name,
                                            nullptr, "big.a");
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->start_offset(), second + 60);
    ASSERT_NE(member->symbol_table(), nullptr);
    EXPECT_STREQ(member->symbol_table()->symbol_at(1)->name(), "far_away");
    delete member;
    ar_close(reader);
    pfclose(input);
}

}  // namespace
