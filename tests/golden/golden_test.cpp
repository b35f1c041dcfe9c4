// Runs every golden case: builds its inputs in a fresh directory, runs the tool there and compares
// stdout, stderr and the exit status byte for byte. With NMKITE_GOLDEN_UPDATE=1 in the environment
// a failing case's expectations are rewritten instead, and the file is named on standard output.
//
// The tools under test are NMKITE_BINARY and OFDUMP_BINARY, started through the command NMKITE_RUNNER
// when that is not empty (e.g. an emulator that runs a Windows build). With NMKITE_TEXT_MODE_TOOL the
// tools write their streams in a host text mode that ends lines with CR LF; they are compared with LF
// line ends. golden_case.h says what a case file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "golden_case.h"
#include "fixture.h"

namespace fs = std::filesystem;
using namespace golden;

namespace {

// ---- Running a case ----

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RESULT {
    std::string out, err;
    int status = -1;
};

// Runs argv in `dir` with stdout and stderr captured to files there.
RESULT run(const std::vector<std::string>& argv, const fs::path& dir) {
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    const int status = run_child(argv, out.string(), err.string(), dir.string()).status;
    return RESULT{slurp(out), slurp(err), status};
}

// The command words that start a tool: the runner, when there is one, then the tool itself. The words
// of NMKITE_GOLDEN_RUNNER in the environment replace the built-in runner (e.g. a memory checker).
std::vector<std::string> tool_command(const char* binary) {
    std::vector<std::string> words;
    if (const char* env = std::getenv("NMKITE_GOLDEN_RUNNER")) {
        std::istringstream in(env);
        for (std::string w; in >> w;) words.push_back(w);
    } else if (!std::string(NMKITE_RUNNER).empty()) {
        words.push_back(NMKITE_RUNNER);
    }
    words.push_back(binary);
    return words;
}

// The text with every CR LF pair turned into LF.
std::string lf_lines(std::string text) {
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    text.resize(kept);
    return text;
}

class Golden : public ::testing::TestWithParam<fs::path> {};

TEST_P(Golden, Matches) {
    CASE c = read_case(GetParam());
    const fs::path dir = fs::temp_directory_path() / ("nmkite-golden-" + std::to_string(getpid()) + "-" +
                                                      GetParam().stem().string());
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const INPUT& input : c.inputs) {
        const fs::path target = dir / input.name;
        fs::create_directories(target.parent_path());
        if (input.kind == "file") {
            fixture::build_to(target, input.content);
        } else if (input.kind == "text") {
            std::ofstream(target, std::ios::binary) << input.content;
        } else {
            fs::copy_file(fs::path(NMKITE_SOURCE_DIR) / input.content, target);
        }
    }
    std::vector<std::string> argv = c.command;
    const bool tool = argv[0] == "nmkite" || argv[0] == "ofdump";
    if (tool) {
        const std::vector<std::string> start = tool_command(argv[0] == "nmkite" ? NMKITE_BINARY : OFDUMP_BINARY);
        argv.erase(argv.begin());
        argv.insert(argv.begin(), start.begin(), start.end());
    }
    RESULT r = run(argv, dir);
    std::vector<std::string> written;
    for (const WRITTEN& w : c.written) written.push_back(slurp(dir / w.name));
    fs::remove_all(dir);
    if (NMKITE_TEXT_MODE_TOOL && tool) {
        r.out = lf_lines(r.out);
        r.err = lf_lines(r.err);
        for (std::string& text : written) text = lf_lines(text);
    }

    bool same = r.out == c.out && r.err == c.err && r.status == c.status;
    for (size_t i = 0; i < written.size(); ++i) same = same && written[i] == c.written[i].text;
    if (!same && std::getenv("NMKITE_GOLDEN_UPDATE")) {
        c.out = r.out;
        c.err = r.err;
        c.status = r.status;
        for (size_t i = 0; i < written.size(); ++i) c.written[i].text = written[i];
        write_case(c);
        std::printf("updated %s\n", c.path.string().c_str());
        return;
    }
    EXPECT_EQ(r.status, c.status) << "exit status of " << c.path.string();
    // GoogleTest shows the differences of texts of several lines.
    EXPECT_EQ(r.out, c.out) << "stdout of " << c.path.string();
    EXPECT_EQ(r.err, c.err) << "stderr of " << c.path.string();
    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ(written[i], c.written[i].text) << c.written[i].name << " of " << c.path.string();
}

std::string case_name(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = fs::relative(info.param, NMKITE_GOLDEN_DIR).replace_extension().string();
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(find_cases(NMKITE_GOLDEN_DIR)), case_name);

}  // namespace
