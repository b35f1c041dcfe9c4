// Object files: identification of the format from the first bytes, the error status and the lifecycle
// checks shared by an object file and its tables. (How archive members are opened, the golden cases show.)
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ofe/of_state_machine.h"
#include "unit_support.h"

using namespace OFE;

namespace {

// Hex `head`, with hex `tail` at byte 20, placed at `position` in a file of 64 more bytes and identified
// from there with the size given; the result reads "format version endian target start size".
std::string identify(const std::string& head, const std::string& tail = "", long position = 0, uint32_t size = 0) {
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
    OF_FILE_INFO info{.handle = file, .size = size};
    OBJECT_FILE::identify(info);
    EXPECT_EQ(std::ftell(pffile(file)), position) << "the handle goes back to the object's start";
    pfclose(file);
    return std::to_string(info.format) + " " + std::to_string(info.format_version) + " " + std::to_string(info.endian) +
           " " + std::to_string(info.target) + " " + std::to_string(info.start_offset) + " " +
           std::to_string(info.size);
}

// An ELF object made in memory: no input, so nothing is read.
std::unique_ptr<OBJECT_FILE> memory_object() {
    const OF_FILE_INFO info{.format = OF_FORMAT_ELF, .endian = OF_ENDIAN_LITTLE, .target = OF_TARGET_KITE};
    return std::unique_ptr<OBJECT_FILE>(OBJECT_FILE::create(info, nullptr));
}

// The pending error of an object as "code: message", which is then cleared.
std::string take(OBJECT_FILE& object) {
    std::string text = std::to_string(object.error_code()) + ": " + object.error_message();
    object.clear_error();
    return text;
}

// What a handler was told, in order.
std::vector<std::string> told;
bool handler_clears = false;
void recording_handler(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    told.push_back(std::to_string(code) + ": " + message);
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
    for (const auto& c : cases) EXPECT_EQ(identify(c.head, c.tail), c.expected + " 0 64") << c.head << " " << c.tail;
    // Version 1 magics name their target themselves; byte 20 means nothing to them.
    const std::map<unsigned, OF_TARGET> targets = {{0x97, 1}, {0x98, 4}, {0x99, 6}, {0x9C, 5},
                                                   {0x9D, 3}, {0xA0, 2}, {0xA1, 7}, {0xA2, 9}};
    for (unsigned v = 0x90; v <= 0xA3; ++v) {
        const std::string hex = unit::hex(std::string(1, static_cast<char>(v)));
        const std::string target = std::to_string(targets.count(v) ? targets.at(v) : 0);
        EXPECT_EQ(identify(hex + "00", "9d00"), "1 1 1 " + target + " 0 64") << v;
        EXPECT_EQ(identify("00" + hex), "1 1 2 " + target + " 0 64") << v;
    }
    EXPECT_EQ(identify("c200", "", 40, 24), "1 3 1 0 40 24");
    EXPECT_EQ(identify("c200", "", 40, 0), "1 3 1 0 40 104") << "size 0: the end's position";
}

TEST(ReportError, AWarningGivesWayASeriousErrorStaysAndTheHandlerSeesThePendingOneFirst) {
    auto object = memory_object();
    // Reports made in turn (codes: 3 corrupted, 4 warning, 5 illegal operation, 6 value truncated, 7 internal,
    // 8 development; the message is the position) and the one left pending: a warning gives way, a serious
    // error stays; warnings keep out warnings, and a development issue keeps them out too, but not worse errors.
    const std::pair<std::vector<uint32_t>, std::string> sequences[] = {
        {{4}, "4: 0"}, {{4, 5, 4, 3, 7, 8}, "5: 1"}, {{6, 4}, "6: 0"}, {{6, 8, 4, 6, 8}, "8: 1"}, {{8, 3}, "3: 1"},
        {{}, "0: "}};
    for (const auto& [codes, pending] : sequences) {
        for (size_t i = 0; i < codes.size(); ++i) object->report_error(static_cast<OF_ERROR>(codes[i]), "%zu", i);
        EXPECT_EQ(take(*object), pending);
    }

    // Messages are cut at 4095 bytes, and file data need an input.
    const std::string longer(5000, 'x');
    object->report_error(OF_ERR_CORRUPTED, "%s", longer.c_str());
    EXPECT_EQ(take(*object), "3: " + longer.substr(0, 4095));

    DATA_MAP map;
    object->get_file_data(map, 0, 4);
    EXPECT_EQ(take(*object), "7: illegal call to OBJECT_FILE::get_file_data() when the OBJECT_FILE object was not read "
                             "from an input file");

    // The handler sees the pending error first and may clear it.
    told.clear();
    handler_clears = false;
    object->set_error_handler(recording_handler);
    object->report_error(OF_ERR_ILLEGAL_OPERATION, "held");
    object->report_error(OF_ERR_WARNING, "kept out");
    handler_clears = true;
    object->report_error(OF_ERR_WARNING, "let in");
    EXPECT_EQ(told, (std::vector<std::string>{"5: held", "5: held", "5: held", "4: let in"}));
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

// An illegal-operation report of a state check.
std::string lifecycle_text(const char* now, const char* how, const char* s) {
    return std::string("5: this OBJECT_FILE object is currently in the ") + now + " state, and " + how + " the " + s +
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
    EXPECT_EQ(take(*file), "7: an error was encountered while progressing an OBJECT_FILE object from the locked to "
                           "the formatted state");

    ASSERT_EQ(steps.progress_to_state(OF_STATE_FORMATTED), 0);
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.require_at_least_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file), lifecycle_text("formatted", "must be in at least", "saved"));
    EXPECT_EQ(steps.progress_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(take(*file), lifecycle_text("formatted", "cannot revert to", "open"));
    EXPECT_EQ(steps.revert_to_state(OF_STATE_SAVED), -1);
    EXPECT_EQ(take(*file), lifecycle_text("formatted", "must be in at least", "saved"));
    ASSERT_EQ(steps.progress_to_state(OF_STATE_SAVED), 0);
    EXPECT_EQ(steps.progressed, (std::vector<int32_t>{1, 2, 3}));

    // Reverting calls one step; when it fails, the state stays.
    steps.fail_revert = true;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), -1);
    EXPECT_EQ(steps.state(), OF_STATE_SAVED);
    EXPECT_EQ(take(*file), "7: an error was encountered while reverting an OBJECT_FILE object from the saved to the "
                           "open state");
    steps.fail_revert = false;
    EXPECT_EQ(steps.revert_to_state(OF_STATE_OPEN), 0);
    EXPECT_EQ(steps.reverted, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(steps.effective_state(), OF_STATE_OPEN);
    ASSERT_EQ(file->progress_to_state(OF_STATE_LOCKED), 0);
    EXPECT_EQ(steps.effective_state(), OF_STATE_LOCKED) << "the owner's state when it is the larger";
    DATA_MAP map;
    file->get_file_data(map, 0, 4);  // the file's own operations check the file's state
    EXPECT_EQ(take(*file), lifecycle_text("locked", "must be in at most", "open"));
    EXPECT_STREQ(state_name(4), "unknown");
}
