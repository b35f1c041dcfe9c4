// Runs every golden case: builds its inputs in a fresh directory, runs the tool there and compares
// stdout, stderr and the exit status byte for byte. With NMKITE_GOLDEN_UPDATE=1 in the environment
// a failing case's expectations are rewritten instead, and the file is named on standard output.
//
// The tools under test are NMKITE_BINARY and OFDUMP_BINARY, started through the command NMKITE_RUNNER
// when that is not empty (e.g. an emulator that runs a Windows build). With NMKITE_TEXT_MODE_TOOL the
// tools write their streams in a host text mode that ends lines with CR LF; they are compared with LF
// line ends. golden_case.h says what a case file holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "golden_case.h"

namespace fs = std::filesystem;
using namespace golden;

namespace {

class Golden : public ::testing::TestWithParam<fs::path> {};

TEST_P(Golden, Matches) {
    CASE c = read_case(GetParam());
    ASSERT_TRUE(c.command[0] == "nmkite" || c.command[0] == "ofdump") << "no tool named in " << c.path.string();
    const fs::path dir = fs::temp_directory_path() / ("nmkite-golden-" + std::to_string(getpid()) + "-" +
                                                      GetParam().stem().string());
    fs::remove_all(dir);
    fs::create_directories(dir);
    write_inputs(c, dir, NMKITE_SOURCE_DIR);
    // The command: the runner, when there is one, then the tool and its arguments. The words of
    // NMKITE_GOLDEN_RUNNER in the environment replace the built-in runner (e.g. a memory checker).
    std::vector<std::string> argv;
    if (const char* env = std::getenv("NMKITE_GOLDEN_RUNNER")) {
        std::istringstream in(env);
        for (std::string w; in >> w;) argv.push_back(w);
    } else if (*NMKITE_RUNNER) {
        argv.push_back(NMKITE_RUNNER);
    }
    argv.push_back(c.command[0] == "ofdump" ? OFDUMP_BINARY : NMKITE_BINARY);
    argv.insert(argv.end(), c.command.begin() + 1, c.command.end());
    const int status = run_child(argv, (dir / ".stdout").string(), (dir / ".stderr").string(), dir.string()).status;
    // What the tool wrote: its two streams, then each file the case names.
    std::vector<std::string> got = {read_file(dir / ".stdout"), read_file(dir / ".stderr")};
    for (const FILE_SECTION& w : c.written) got.push_back(read_file(dir / w.name));
    fs::remove_all(dir);
    if (NMKITE_TEXT_MODE_TOOL)  // every CR LF becomes LF
        for (std::string& text : got)
            for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);

    std::vector<std::string*> want = {&c.out, &c.err};
    for (FILE_SECTION& w : c.written) want.push_back(&w.content);
    bool same = status == c.status;
    for (size_t i = 0; i < got.size(); ++i) same = same && got[i] == *want[i];
    if (!same && std::getenv("NMKITE_GOLDEN_UPDATE")) {
        c.status = status;
        for (size_t i = 0; i < got.size(); ++i) *want[i] = got[i];
        write_case(c);
        std::printf("updated %s\n", c.path.string().c_str());
        return;
    }
    EXPECT_EQ(status, c.status) << "exit status of " << c.path.string();
    // GoogleTest shows the differences of texts of several lines.
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], *want[i]) << (i == 0 ? "stdout" : i == 1 ? "stderr" : c.written[i - 2].name) << " of "
                                    << c.path.string();
}

std::string case_name(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = fs::relative(info.param, NMKITE_GOLDEN_DIR).replace_extension().string();
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(find_cases(NMKITE_GOLDEN_DIR)), case_name);

}  // namespace
