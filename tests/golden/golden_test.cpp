// Runs every golden case: builds its inputs in a fresh directory, runs the tool there and compares
// stdout, stderr and the exit status byte for byte. With NMKITE_GOLDEN_UPDATE=1 in the environment
// a failing case's expectations are rewritten instead, and the file is named on standard output.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fixture.h"
#include "golden_case.h"

namespace fs = std::filesystem;

namespace {

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
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fi = open("/dev/null", O_RDONLY);
        if (fo < 0 || fe < 0 || fi < 0) _exit(127);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    RESULT r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

// A line-by-line difference, marking lines only expected with "-" and lines only seen with "+".
std::string line_diff(const std::string& expected, const std::string& actual) {
    auto lines = [](const std::string& s) {
        std::vector<std::string> v;
        std::istringstream in(s);
        for (std::string l; std::getline(in, l);) v.push_back(l);
        if (!s.empty() && s.back() != '\n') v.back() += "<no newline>";
        return v;
    };
    const auto a = lines(expected), b = lines(actual);
    // Longest common subsequence over lines; the cases are small.
    std::vector<std::vector<int>> lcs(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;)
        for (size_t j = b.size(); j-- > 0;)
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::string d;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            d += "  " + a[i++] + "\n";
            ++j;
        } else if (j < b.size() && (i == a.size() || lcs[i][j + 1] >= lcs[i + 1][j])) {
            d += "+ " + b[j++] + "\n";
        } else {
            d += "- " + a[i++] + "\n";
        }
    }
    return d;
}

class Golden : public ::testing::TestWithParam<fs::path> {};

TEST_P(Golden, Matches) {
    golden::CASE c = golden::read_case(GetParam());
    const fs::path dir = fs::temp_directory_path() / ("nmkite-golden-" + std::to_string(getpid()) + "-" +
                                                      GetParam().stem().string());
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const golden::INPUT& input : c.inputs) {
        const fs::path target = dir / input.name;
        fs::create_directories(target.parent_path());
        if (input.kind == golden::INPUT::KIND::fixture) {
            const auto bytes = fixture::build(input.content);
            std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        } else if (input.kind == golden::INPUT::KIND::text) {
            std::ofstream(target, std::ios::binary) << input.content;
        } else {
            fs::copy_file(fs::path(NMKITE_SOURCE_DIR) / input.content, target);
        }
    }
    std::vector<std::string> argv = c.command;
    if (argv[0] == "nmkite") argv[0] = NMKITE_BINARY;
    if (argv[0] == "ofdump") argv[0] = OFDUMP_BINARY;
    const RESULT r = run(argv, dir);
    fs::remove_all(dir);

    const bool same = r.out == c.out.text && r.err == c.err.text && r.status == c.status;
    if (!same && std::getenv("NMKITE_GOLDEN_UPDATE")) {
        c.out.text = r.out;
        c.err.text = r.err;
        c.status = r.status;
        golden::write_case(c);
        std::printf("updated %s\n", c.path.string().c_str());
        return;
    }
    EXPECT_EQ(r.status, c.status) << "exit status of " << c.path.string();
    EXPECT_TRUE(r.out == c.out.text) << "stdout of " << c.path.string() << ":\n" << line_diff(c.out.text, r.out);
    EXPECT_TRUE(r.err == c.err.text) << "stderr of " << c.path.string() << ":\n" << line_diff(c.err.text, r.err);
}

std::string case_name(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = fs::relative(info.param, NMKITE_GOLDEN_DIR).replace_extension().string();
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden::find_cases(NMKITE_GOLDEN_DIR)), case_name);

}  // namespace
