// Runs every golden case: builds its inputs in a fresh directory, runs the tool there and compares
// stdout, stderr and the exit status byte for byte. With NMKITE_GOLDEN_UPDATE=1 in the environment
// a failing case's expectations are rewritten instead, and the file is named on standard output.
//
// The tool under test is NMKITE_BINARY, started through the command NMKITE_RUNNER when that is not
// empty (e.g. an emulator that runs a Windows build). With NMKITE_TEXT_MODE_TOOL the tool writes its
// streams in a host text mode that ends lines with CR LF; they are compared with LF line ends.
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
        execvp(args[0], args.data());
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

// The command words that start the tool: the runner, when there is one, then the tool itself. The words
// of NMKITE_GOLDEN_RUNNER in the environment replace the built-in runner (e.g. a memory checker).
std::vector<std::string> tool_command() {
    std::vector<std::string> words;
    if (const char* env = std::getenv("NMKITE_GOLDEN_RUNNER")) {
        std::istringstream in(env);
        for (std::string w; in >> w;) words.push_back(w);
    } else if (!std::string(NMKITE_RUNNER).empty()) {
        words.push_back(NMKITE_RUNNER);
    }
    words.push_back(NMKITE_BINARY);
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
    if (argv[0] == "nmkite") {
        argv.erase(argv.begin());
        const std::vector<std::string> tool = tool_command();
        argv.insert(argv.begin(), tool.begin(), tool.end());
    } else if (argv[0] == "ofdump") {
        argv[0] = OFDUMP_BINARY;
    }
    RESULT r = run(argv, dir);
    std::vector<std::string> written;
    for (const golden::WRITTEN& w : c.written) written.push_back(slurp(dir / w.name));
    fs::remove_all(dir);
    if (NMKITE_TEXT_MODE_TOOL && c.command[0] == "nmkite") {
        r.out = lf_lines(r.out);
        r.err = lf_lines(r.err);
        for (std::string& text : written) text = lf_lines(text);
    }

    bool same = r.out == c.out.text && r.err == c.err.text && r.status == c.status;
    for (size_t i = 0; i < written.size(); ++i) same = same && written[i] == c.written[i].text;
    if (!same && std::getenv("NMKITE_GOLDEN_UPDATE")) {
        c.out.text = r.out;
        c.err.text = r.err;
        c.status = r.status;
        for (size_t i = 0; i < written.size(); ++i) c.written[i].text = written[i];
        golden::write_case(c);
        std::printf("updated %s\n", c.path.string().c_str());
        return;
    }
    EXPECT_EQ(r.status, c.status) << "exit status of " << c.path.string();
    EXPECT_TRUE(r.out == c.out.text) << "stdout of " << c.path.string() << ":\n" << line_diff(c.out.text, r.out);
    EXPECT_TRUE(r.err == c.err.text) << "stderr of " << c.path.string() << ":\n" << line_diff(c.err.text, r.err);
    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_TRUE(written[i] == c.written[i].text) << c.written[i].name << " of " << c.path.string() << ":\n"
                                                     << line_diff(c.written[i].text, written[i]);
}

std::string case_name(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = fs::relative(info.param, NMKITE_GOLDEN_DIR).replace_extension().string();
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden::find_cases(NMKITE_GOLDEN_DIR)), case_name);

}  // namespace
