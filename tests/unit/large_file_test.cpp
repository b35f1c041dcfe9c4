// Files of 4 GiB and more: a 32-bit object at the start of a larger file, and an archive member that lies
// past 4 GiB. The files are sparse, so they cost a few kilobytes of disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/ar_reader.h"
#include "fixture.h"
#include "ofe/object_file.h"
#include "ofe/of_symbol.h"
#include "unit_support.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

constexpr uint64_t four_gib = uint64_t{1} << 32;

std::string object_bytes() {
    const std::vector<unsigned char> b = fixture::build(
        "elf32 le rel\nsection .text data=0011223344556677\nsymbol far_away value=4 section=.text type=func\n");
    return {b.begin(), b.end()};
}

// The names of the object's symbols after the null symbol, and its pending error ("" when none).
std::string listed(OBJECT_FILE* object) {
    std::string names;
    OF_SYMBOL_TABLE* table = object->symbol_table();
    for (uint32_t i = 1; table && i < table->count(); ++i)
        if (const OF_SYMBOL* s = table->symbol_at(i)) names += std::string(s->name()) + " ";
    return names + object->error_message();
}

void problem(ar_reader*, int, const char* message) { ADD_FAILURE() << message; }

TEST(LargeFiles, AnObjectAtTheStartOfAFileOfMoreThanFourGibibytes) {
    unit::temp_dir dir;
    const std::string path = dir.write("big.o", object_bytes());
    std::filesystem::resize_file(path, four_gib + 256);
    PFILE* input = pfopen(path.c_str(), "rb");
    ASSERT_NE(input, nullptr);
    OBJECT_FILE* object = OBJECT_FILE::open(input, 0, "big.o", nullptr);
    ASSERT_NE(object, nullptr);
    // All that a 32-bit object can reach, and no complaint about the rest.
    EXPECT_EQ(object->size(), 0xFFFFFFFFu);
    EXPECT_EQ(listed(object), "far_away ");
    delete object;
    pfclose(input);
}

TEST(LargeFiles, AnArchiveMemberPastFourGibibytes) {
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
    const std::string object = object_bytes();
    std::ofstream(path, std::ios::binary | std::ios::app) << header("x.o/", object.size()) << object;

    PFILE* input = pfopen(path.c_str(), "rb");
    ar_reader* reader = ar_open("big.a", input, problem);
    ASSERT_TRUE(ar_is_archive(reader));
    ar_read_index(reader);
    const ar_member* hole = ar_first_member(reader);
    ASSERT_NE(hole, nullptr);
    EXPECT_EQ(hole->size, four_gib);
    const ar_member* x = hole->next;
    ASSERT_NE(x, nullptr);
    EXPECT_STREQ(x->name, "x.o");
    EXPECT_EQ(x->data_offset, second + 60);
    EXPECT_EQ(x->size, object.size());

    PFILE* stream = ar_member_stream(reader, x);
    OBJECT_FILE* member = OBJECT_FILE::open(stream, static_cast<uint32_t>(x->size), x->name, nullptr, "big.a");
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->start_offset(), second + 60);
    EXPECT_STREQ(member->display_name(), "big.a(x.o)");
    EXPECT_EQ(listed(member), "far_away ");
    delete member;
    ar_close(reader);
    pfclose(input);
}

}  // namespace
