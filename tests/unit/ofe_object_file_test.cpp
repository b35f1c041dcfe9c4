// Object files: identification of the format from the first bytes, the error status and the lifecycle
// checks shared by an object file and its tables. (How archive members are opened, the golden cases show.)
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ofe/object_file.h"
#include "ofe/of_state_machine.h"
#include "unit_support.h"
#include "util/data_map.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Hex `head`, with hex `tail` at byte 20, placed at `position` in a file of 64 more bytes and identified
// from there with the size given; the result reads "format version endian target".
std::string identify(const std::string& head, const std::string& tail = "", long position = 0, uint32_t size = 0,
                     OF_FILE_INFO* out = nullptr) {
    std::string content(static_cast<size_t>(position) + 64, '\0');
    const auto put = [&](const std::string& hex, size_t at) {
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            content[at + i / 2] = static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    };
    put(head, static_cast<size_t>(position));
    put(tail, static_cast<size_t>(position) + 20);
    unit::temp_dir dir;
    PFILE* file = pfopen(dir.write("f", content).c_str(), "rb");
    std::fseek(pffile(file), position, SEEK_SET);
    OF_FILE_INFO info;
    info.handle = file;
    info.size = size;
    OBJECT_FILE::identify(info);
    EXPECT_EQ(std::ftell(pffile(file)), position) << "the handle goes back to the object's start";
    pfclose(file);
    if (out) *out = info;
    return std::to_string(info.format) + " " + std::to_string(info.format_version) + " " + std::to_string(info.endian) +
           " " + std::to_string(info.target);
}

// An ELF object made in memory: no input, so nothing is read.
std::unique_ptr<OBJECT_FILE> memory_object() {
    OF_FILE_INFO info;
    info.format = OF_FORMAT_ELF;
    info.endian = OF_ENDIAN_LITTLE;
    info.target = OF_TARGET_KITE;
    return std::unique_ptr<OBJECT_FILE>(OBJECT_FILE::create(info, nullptr));
}

using report = std::pair<uint32_t, std::string>;

// The pending error of an object, which is then cleared.
report take(OBJECT_FILE& object) {
    report r{object.error_code(), object.error_message()};
    object.clear_error();
    return r;
}

// What a handler was told, in order.
std::vector<report> told;
bool handler_clears = false;
void recording_handler(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    told.emplace_back(code, message);
    if (handler_clears) object->clear_error();
}

}  // namespace

TEST(Identify, MagicsByteOrdersVersionsTargetsAndExtent) {
    // An ELF header up to e_machine: EI_DATA and the machine in hex; e_version follows at byte 20.
    auto elf = [](const std::string& ei_data, const std::string& machine) {
        return "7f454c4601" + ei_data + "01" + std::string(18, '0') + "0100" + machine;
    };
    const struct {
        std::string head, tail, expected;
    } cases[] = {
        {"c200", "", "1 3 1 0"}, {"00c2", "", "1 3 2 0"}, {"c100", "", "1 2 1 0"}, {"00c1", "", "1 2 2 0"},
        {"c2c2", "", "0 0 0 0"},  // either way: no magic
        // The target id is read in the file's byte order; ids without a target give 0.
        {"c200", "9d00", "1 3 1 3"}, {"00c2", "009d", "1 3 2 3"}, {"00c1", "00a2", "1 2 2 9"},
        {"c200", "009d", "1 3 1 0"}, {"c100", "9a00", "1 2 1 0"}, {"8f00", "", "0 0 0 0"}, {"a400", "", "0 0 0 0"},
        {elf("01", "8d00"), "01000000", "2 4 1 3"}, {elf("02", "008d"), "00000001", "2 4 2 3"},
        // Every EI_DATA but 1 counts as big endian; e_version 1 in the other byte order is not 1, and a
        // machine without a target id gives 0 here.
        {elf("00", "0028"), "00000001", "2 4 2 1"}, {elf("03", "0091"), "00000001", "2 4 2 11"},
        {elf("01", "c800"), "00000001", "2 0 1 0"},
    };
    for (const auto& c : cases) EXPECT_EQ(identify(c.head, c.tail), c.expected) << c.head << " " << c.tail;
    // Version 1 magics name their target themselves; byte 20 means nothing to them.
    const std::map<unsigned, OF_TARGET> targets = {{0x97, 1}, {0x98, 4}, {0x99, 6}, {0x9C, 5},
                                                   {0x9D, 3}, {0xA0, 2}, {0xA1, 7}, {0xA2, 9}};
    for (unsigned v = 0x90; v <= 0xA3; ++v) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", v);
        const std::string target = std::to_string(targets.count(v) ? targets.at(v) : 0);
        EXPECT_EQ(identify(hex + std::string("00"), "9d00"), "1 1 1 " + target) << v;
        EXPECT_EQ(identify("00" + std::string(hex)), "1 1 2 " + target) << v;
    }

    OF_FILE_INFO info;
    identify("c200", "", 0, 0, &info);
    EXPECT_EQ(std::pair(info.start_offset, info.size), std::pair(uint64_t{0}, 64u));
    identify("c200", "", 40, 24, &info);
    EXPECT_EQ(std::pair(info.start_offset, info.size), std::pair(uint64_t{40}, 24u));
    identify("c200", "", 40, 0, &info);
    EXPECT_EQ(info.size, 104u) << "size 0 takes the position of the end, whatever the start";
}

TEST(ReportError, AWarningGivesWayASeriousErrorStaysAndTheHandlerSeesThePendingOneFirst) {
    auto object = memory_object();
    object->report_error(OF_ERR_WARNING, "first %d", 1);
    EXPECT_STREQ(object->error_message(), "first 1");
    object->report_error(OF_ERR_ILLEGAL_OPERATION, "second");
    for (OF_ERROR later : {OF_ERR_WARNING, OF_ERR_CORRUPTED, OF_ERR_INTERNAL, OF_ERR_DEVELOPMENT})
        object->report_error(later, "dropped");
    EXPECT_EQ(take(*object), report(OF_ERR_ILLEGAL_OPERATION, "second"));
    EXPECT_EQ(take(*object), report(OF_ERR_NONE, ""));

    // Warnings keep out warnings; a development issue also keeps them out, but not worse errors.
    object->report_error(OF_ERR_VALUE_TRUNCATED, "truncated");
    object->report_error(OF_ERR_WARNING, "dropped");
    EXPECT_EQ(object->error_code(), OF_ERR_VALUE_TRUNCATED);
    object->report_error(OF_ERR_DEVELOPMENT, "development");
    for (OF_ERROR later : {OF_ERR_WARNING, OF_ERR_VALUE_TRUNCATED, OF_ERR_DEVELOPMENT})
        object->report_error(later, "dropped");
    EXPECT_STREQ(object->error_message(), "development");
    object->report_error(OF_ERR_CORRUPTED, "corrupted");
    EXPECT_EQ(take(*object), report(OF_ERR_CORRUPTED, "corrupted"));

    // The handler sees the pending error first and may clear it.
    told.clear();
    handler_clears = false;
    object->set_error_handler(recording_handler);
    object->report_error(OF_ERR_ILLEGAL_OPERATION, "held");
    object->report_error(OF_ERR_WARNING, "kept out");
    EXPECT_EQ(told, (std::vector<report>{{5, "held"}, {5, "held"}}));
    told.clear();
    handler_clears = true;
    object->report_error(OF_ERR_WARNING, "let in");
    EXPECT_EQ(told, (std::vector<report>{{5, "held"}, {4, "let in"}}));
    handler_clears = false;
    object->set_error_handler(nullptr);
    object->clear_error();

    // Messages are cut at 4095 bytes, and file data need an input.
    const std::string longer(5000, 'x');
    object->report_error(OF_ERR_CORRUPTED, "%s", longer.c_str());
    EXPECT_EQ(take(*object).second, longer.substr(0, 4095));

    DATA_MAP map;
    object->get_file_data(map, 0, 4);
    EXPECT_EQ(take(*object), report(OF_ERR_INTERNAL, "illegal call to OBJECT_FILE::get_file_data() when the "
                                                     "OBJECT_FILE object was not read from an input file"));
}

namespace {

// A table of the object whose steps can be made to fail.
class STEPS : public OF_STATE_MACHINE {
public:
    using OF_STATE_MACHINE::OF_STATE_MACHINE;
    int32_t on_progress(int32_t s) override {
        progressed.push_back(s);
        return s == fail_progress_at ? -1 : 0;
    }
    int32_t on_revert(int32_t s) override {
        reverted.push_back(s);
        return fail_revert ? 1 : 0;
    }
    int32_t fail_progress_at = -1;
    bool fail_revert = false;
    std::vector<int32_t> progressed, reverted;
};

std::string lifecycle_text(const char* now, const char* how, const char* s) {
    return std::string("this OBJECT_FILE object is currently in the ") + now + " state, and " + how + " the " + s +
           " state to perform the requested operation ";
}

}  // namespace

// How an object's own checks read (and that a failed step leaves the state): the writing tests.
TEST(Lifecycle, StepsRunInOrderAndChecksAndFailuresReportOnTheOwner) {
    auto file = memory_object();
    STEPS steps(file.get()), failing(file.get());
    failing.fail_progress_at = OF_STATE_FORMATTED;
    EXPECT_EQ(failing.progress_to_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(failing.progressed, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(failing.state(), OF_STATE_OPEN);
    EXPECT_EQ(take(*file), report(OF_ERR_INTERNAL, "an error was encountered while progressing an OBJECT_FILE "
                                                   "object from the locked to the formatted state"));

    ASSERT_EQ(steps.progress_to_state(OF_STATE_FORMATTED), 0);
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file), report(OF_ERR_ILLEGAL_OPERATION, lifecycle_text("formatted", "must be in at least", "saved")));
    EXPECT_EQ(steps.progress_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(take(*file).second, lifecycle_text("formatted", "cannot revert to", "open"));
    EXPECT_EQ(steps.revert_to_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file).second, lifecycle_text("formatted", "must be in at least", "saved"));
    ASSERT_EQ(steps.progress_to_state(OF_STATE_SAVED), 0);
    EXPECT_EQ(steps.progressed, (std::vector<int32_t>{1, 2, 3}));

    // Reverting calls one step; when it fails, the state stays.
    steps.fail_revert = true;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(steps.state(), OF_STATE_SAVED);
    EXPECT_EQ(take(*file), report(OF_ERR_INTERNAL, "an error was encountered while reverting an OBJECT_FILE object "
                                                   "from the saved to the open state"));
    steps.fail_revert = false;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), 0);
    EXPECT_EQ(steps.reverted, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(steps.effective_state(), OF_STATE_OPEN);
    ASSERT_EQ(file->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.effective_state(), OF_STATE_LOCKED) << "the owner's state when it is the larger";
    DATA_MAP map;
    file->get_file_data(map, 0, 4);  // the file's own operations check the file's state
    EXPECT_EQ(take(*file).second, lifecycle_text("locked", "must be in at most", "open"));
    EXPECT_STREQ(state_name(4), "unknown");
}
