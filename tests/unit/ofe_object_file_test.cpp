// Object files: identification of the format from the first bytes, the error status and the lifecycle
// checks shared by an object file and its tables. (How archive members are opened, the golden cases show.)
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "ofe/of_state_machine.h"
#include "unit_support.h"
#include "util/data_map.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

using bytes = std::vector<unsigned char>;

// `head`, with `tail` at byte 20, placed at `position` in a file of `length` bytes and identified from
// there; the result reads "format version endian target".
std::string identify(bytes head, bytes tail = {}, long position = 0, uint32_t size = 0, OF_FILE_INFO* out = nullptr) {
    if (!tail.empty()) head.resize(20, 0), head.insert(head.end(), tail.begin(), tail.end());
    bytes content(static_cast<size_t>(position) + 64, 0);
    std::copy(head.begin(), head.end(), content.begin() + position);
    unit::temp_dir dir;
    PFILE* file = pfopen(dir.write("f", std::string(content.begin(), content.end())).c_str(), "rb");
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

TEST(Identify, QxcoffMagicsOfEveryVersionAndTheirTargets) {
    EXPECT_EQ(identify({0xC2, 0x00}), "1 3 1 0");
    EXPECT_EQ(identify({0x00, 0xC2}), "1 3 2 0");
    EXPECT_EQ(identify({0xC1, 0x00}), "1 2 1 0");
    EXPECT_EQ(identify({0x00, 0xC1}), "1 2 2 0");
    EXPECT_EQ(identify({0xC2, 0xC2}), "0 0 0 0") << "0xC2C2 either way: no magic";
    // The target id is read in the file's byte order; ids without a target give 0.
    EXPECT_EQ(identify({0xC2, 0x00}, {0x9D, 0x00}), "1 3 1 3");
    EXPECT_EQ(identify({0x00, 0xC2}, {0x00, 0x9D}), "1 3 2 3");
    EXPECT_EQ(identify({0x00, 0xC1}, {0x00, 0xA2}), "1 2 2 9");
    EXPECT_EQ(identify({0xC2, 0x00}, {0x00, 0x9D}), "1 3 1 0");
    EXPECT_EQ(identify({0xC1, 0x00}, {0x9A, 0x00}), "1 2 1 0");
    // Version 1 magics name their target themselves.
    const std::map<unsigned, OF_TARGET> targets = {{0x97, 1}, {0x98, 4}, {0x99, 6}, {0x9C, 5},
                                                   {0x9D, 3}, {0xA0, 2}, {0xA1, 7}, {0xA2, 9}};
    for (unsigned char v = 0x90; v <= 0xA3; ++v) {
        const std::string target = std::to_string(targets.count(v) ? targets.at(v) : 0);
        // Byte 20 means nothing to version 1.
        EXPECT_EQ(identify({v, 0x00}, {0x9D, 0x00}), "1 1 1 " + target) << int{v};
        EXPECT_EQ(identify({0x00, v}), "1 1 2 " + target) << int{v};
    }
    EXPECT_EQ(identify({0x8F, 0x00}), "0 0 0 0");
    EXPECT_EQ(identify({0xA4, 0x00}), "0 0 0 0");
}

TEST(Identify, ElfByteOrderVersionMachineAndExtent) {
    auto elf = [](unsigned char ei_data, bytes machine_and_version) {
        return identify({0x7F, 'E', 'L', 'F', 1, ei_data, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, machine_and_version[0],
                         machine_and_version[1]},
                        {machine_and_version.begin() + 2, machine_and_version.end()});
    };
    EXPECT_EQ(elf(1, {141, 0, 1, 0, 0, 0}), "2 4 1 3");
    EXPECT_EQ(elf(2, {0, 141, 0, 0, 0, 1}), "2 4 2 3");
    // Every EI_DATA but 1 counts as big endian.
    EXPECT_EQ(elf(0, {0, 40, 0, 0, 0, 1}), "2 4 2 1");
    EXPECT_EQ(elf(3, {0, 145, 0, 0, 0, 1}), "2 4 2 11");
    // e_version 1 in the other byte order is not 1; a machine without a target id gives 0 here.
    EXPECT_EQ(elf(1, {200, 0, 0, 0, 0, 1}), "2 0 1 0");

    OF_FILE_INFO info;
    identify({0xC2, 0x00}, {}, 0, 0, &info);
    EXPECT_EQ(info.start_offset, 0u);
    EXPECT_EQ(info.size, 64u);
    identify({0xC2, 0x00}, {}, 40, 24, &info);
    EXPECT_EQ(info.start_offset, 40u);
    EXPECT_EQ(info.size, 24u);
    identify({0xC2, 0x00}, {}, 40, 0, &info);
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

TEST(Lifecycle, ProgressRunsEveryStepOrNoneOfItsEffectAndChecksReportOnTheOwner) {
    auto file = memory_object();
    STEPS good(file.get()), failing(file.get());
    EXPECT_EQ(good.progress_to_state(OF_STATE_SAVED), 0);
    EXPECT_EQ(good.progressed, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(good.state(), OF_STATE_SAVED);
    EXPECT_EQ(good.progress_to_state(OF_STATE_SAVED), 0);
    EXPECT_EQ(good.progressed.size(), 3u);

    failing.fail_progress_at = OF_STATE_FORMATTED;
    EXPECT_EQ(failing.progress_to_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(failing.progressed, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(failing.state(), OF_STATE_OPEN);
    EXPECT_EQ(take(*file), report(OF_ERR_INTERNAL, "an error was encountered while progressing an OBJECT_FILE "
                                                   "object from the locked to the formatted state"));

    // Checks and backward moves report on the owner.
    STEPS steps(file.get());
    ASSERT_EQ(steps.progress_to_state(OF_STATE_FORMATTED), 0);
    EXPECT_EQ(steps.require_at_most_state(OF_STATE_FORMATTED), 0);
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.require_at_most_state(OF_STATE_LOCKED), -1);
    EXPECT_EQ(take(*file), report(OF_ERR_ILLEGAL_OPERATION, lifecycle_text("formatted", "must be in at most", "locked")));
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file).second, lifecycle_text("formatted", "must be in at least", "saved"));
    EXPECT_EQ(steps.progress_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(take(*file).second, lifecycle_text("formatted", "cannot revert to", "open"));
    EXPECT_EQ(steps.revert_to_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file).second, lifecycle_text("formatted", "must be in at least", "saved"));
    EXPECT_EQ(steps.state(), OF_STATE_FORMATTED);
    EXPECT_TRUE(steps.reverted.empty());
    // The file's own operations check the file's state.
    ASSERT_EQ(file->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.effective_state(), OF_STATE_FORMATTED);
    DATA_MAP map;
    file->get_file_data(map, 0, 4);
    EXPECT_EQ(take(*file).second, lifecycle_text("locked", "must be in at most", "open"));
    EXPECT_STREQ(state_name(4), "unknown");
}

TEST(Lifecycle, RevertCallsOneStepAndKeepsTheStateWhenItFails) {
    auto file = memory_object();
    STEPS steps(file.get());
    ASSERT_EQ(steps.progress_to_state(OF_STATE_SAVED), 0);
    steps.fail_revert = true;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(steps.state(), OF_STATE_SAVED);
    EXPECT_EQ(take(*file), report(OF_ERR_INTERNAL, "an error was encountered while reverting an OBJECT_FILE object "
                                                   "from the saved to the open state"));
    steps.fail_revert = false;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), 0);
    EXPECT_EQ(steps.reverted, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(steps.state(), OF_STATE_OPEN);
    EXPECT_EQ(steps.effective_state(), OF_STATE_OPEN);
    ASSERT_EQ(file->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.effective_state(), OF_STATE_LOCKED) << "the owner's state when it is the larger";
}
