// Runs every golden case: builds its inputs in a fresh directory, runs the tool there and compares
// stdout, stderr and the exit status byte for byte. With NMKITE_GOLDEN_UPDATE=1 in the environment
// a failing case's expectations are rewritten instead, and the file is named on standard output.
//
// The tools under test are NMKITE_BINARY and OFDUMP_BINARY, started through the command NMKITE_RUNNER
// when that is not empty (e.g. an emulator that runs a Windows build). With NMKITE_TEXT_MODE_TOOL the
// tools write their streams in a host text mode that ends lines with CR LF; they are compared with LF
// line ends.
//
// A case file holds sections, each opened by a line "=== KIND [NAME]":
//   === file NAME      a fixture description; the fixture builder writes NAME from it
//                      (names of inputs must also do on Windows: no AUX, CON, NUL, PRN, COMn
//                      or LPTn before the first dot, which name devices there)
//   === text NAME      NAME holds the following lines verbatim
//   === copy NAME      NAME is a copy of the file whose path (from the source root) is the next line
//   === command        one line: the command, words split at blanks, "..." quotes a word;
//                      the first word names the tool under test: nmkite, or ofdump, the
//                      object-file dumper
//   === stdout / === stderr   the exact expected stream; "noeol" after the kind means that the
//                      stream does not end in a newline; an empty section means "must be empty"
//   === written NAME   the exact contents of the file NAME that the command writes
//   === status         the exit status
// Lines before the first section are comments describing the case.
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
#include "fixture.h"

namespace fs = std::filesystem;

namespace {

// ---- Case files ----

// One input written into the case's temporary directory before the command runs.
struct INPUT {
    std::string kind;     // file, text or copy: the section's kind
    std::string name;     // file name in the temporary directory
    std::string content;  // fixture description, verbatim text, or the path to copy (from the source root)
};

// A file the command must leave in the temporary directory, with its exact contents.
struct WRITTEN {
    std::string name;
    std::string text;
};

struct CASE {
    std::filesystem::path path;
    std::string preamble;          // comment lines before the first section, kept on rewrite
    std::vector<INPUT> inputs;
    std::vector<std::string> command;
    std::string out, err;  // the expected streams, byte for byte
    std::vector<WRITTEN> written;
    int status = 0;
};

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, in_word = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

std::string quote_word(const std::string& w) {
    if (!w.empty() && w.find_first_of(" \t\"") == std::string::npos) return w;
    return "\"" + w + "\"";
}

// Reads a case file; throws std::runtime_error naming the line on a malformed one.
CASE read_case(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string all = ss.str();

    CASE c;
    c.path = path;
    std::string kind, name, body;
    bool noeol = false;
    int line_no = 0, section_line = 0;
    auto finish = [&]() {
        if (kind.empty()) return;
        const std::string where = path.string() + ":" + std::to_string(section_line);
        if (kind == "file" || kind == "text" || kind == "copy") {
            if (name.empty()) throw std::runtime_error(where + ": section needs a file name");
            c.inputs.push_back(INPUT{kind, name, kind == "copy" ? body.substr(0, body.find('\n')) : body});
        } else if (kind == "command") {
            c.command = split_words(body.substr(0, body.find('\n')));
            if (c.command.empty()) throw std::runtime_error(where + ": empty command");
        } else if (kind == "stdout" || kind == "stderr") {
            std::string& s = kind == "stdout" ? c.out : c.err;
            s = body;
            if (noeol && !s.empty() && s.back() == '\n') s.pop_back();
        } else if (kind == "written") {
            if (name.empty()) throw std::runtime_error(where + ": section needs a file name");
            c.written.push_back(WRITTEN{name, body});
        } else if (kind == "status") {
            c.status = std::stoi(body);
        } else {
            throw std::runtime_error(where + ": unknown section '" + kind + "'");
        }
    };
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        const bool has_nl = end != std::string::npos;
        if (!has_nl) end = all.size();
        const std::string line = all.substr(pos, end - pos);
        ++line_no;
        if (line.rfind("=== ", 0) == 0) {
            finish();
            const auto words = split_words(line.substr(4));
            kind = words.empty() ? "" : words[0];
            name = words.size() > 1 ? words[1] : "";
            noeol = name == "noeol";
            body.clear();
            section_line = line_no;
        } else if (kind.empty()) {
            c.preamble += line + "\n";
        } else {
            body += line;
            if (has_nl) body += "\n";
        }
        pos = end + 1;
    }
    finish();
    if (c.command.empty()) throw std::runtime_error(path.string() + ": no command section");
    return c;
}

// Writes the case back with new expectations.
void write_case(const CASE& c) {
    std::ostringstream out;
    out << c.preamble;
    for (const INPUT& input : c.inputs) {
        out << "=== " << input.kind << " " << input.name << "\n" << input.content;
        if (!input.content.empty() && input.content.back() != '\n') out << "\n";
    }
    out << "=== command\n";
    for (size_t i = 0; i < c.command.size(); ++i) out << (i ? " " : "") << quote_word(c.command[i]);
    out << "\n";
    auto stream = [&](const char* kind, const std::string& s) {
        const bool eol = s.empty() || s.back() == '\n';
        out << "=== " << kind << (eol ? "" : " noeol") << "\n" << s << (eol ? "" : "\n");
    };
    stream("stdout", c.out);
    stream("stderr", c.err);
    for (const WRITTEN& w : c.written) out << "=== written " << w.name << "\n" << w.text;
    out << "=== status\n" << c.status << "\n";
    std::ofstream file(c.path, std::ios::binary | std::ios::trunc);
    file << out.str();
}

// Every case file (*.golden) below a directory, sorted.
std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> cases;
    if (!std::filesystem::exists(dir)) return cases;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".golden") cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    return cases;
}

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
