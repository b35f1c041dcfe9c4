// Reading, rewriting and setting up golden case files.
#include "golden_case.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "fixture.h"

namespace golden {

namespace {

// The words of a line: split at blanks, a word in double quotes (backslash escapes) may hold blanks.
std::vector<std::string> split_words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> std::quoted(word);) words.push_back(word);
    return words;
}

}  // namespace

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CASE read_case(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    CASE c;
    c.path = path;
    std::string kind, name, body;
    int line_no = 0, section_line = 0;
    auto finish = [&]() {
        if (kind.empty()) return;
        const std::string where = path.string() + ":" + std::to_string(section_line);
        if ((kind == "file" || kind == "text" || kind == "copy" || kind == "written") && name.empty())
            throw std::runtime_error(where + ": section needs a file name");
        if (kind == "file" || kind == "text" || kind == "copy") {
            c.inputs.push_back(INPUT{kind, name, kind == "copy" ? body.substr(0, body.find('\n')) : body});
        } else if (kind == "command") {
            c.command = split_words(body.substr(0, body.find('\n')));
            if (c.command.empty()) throw std::runtime_error(where + ": empty command");
        } else if (kind == "stdout" || kind == "stderr") {
            (kind == "stdout" ? c.out : c.err) = body;
        } else if (kind == "written") {
            c.written.push_back(WRITTEN{name, body});
        } else if (kind == "status") {
            c.status = std::stoi(body);
        } else {
            throw std::runtime_error(where + ": unknown section '" + kind + "'");
        }
    };
    for (std::string line; std::getline(in, line);) {
        ++line_no;
        if (line.rfind("=== ", 0) == 0) {
            finish();
            const auto words = split_words(line.substr(4));
            kind = words.empty() ? "" : words[0];
            name = words.size() > 1 ? words[1] : "";
            body.clear();
            section_line = line_no;
        } else {
            (kind.empty() ? c.preamble : body) += line + "\n";
        }
    }
    finish();
    if (c.command.empty()) throw std::runtime_error(path.string() + ": no command section");
    return c;
}

void write_case(const CASE& c) {
    std::ostringstream out;
    // A text that does not end in a newline gets one, so that the next section starts on a line of its own.
    auto section = [&](const std::string& head, const std::string& text) {
        out << "=== " << head << "\n" << text << (text.empty() || text.back() == '\n' ? "" : "\n");
    };
    out << c.preamble;
    for (const INPUT& input : c.inputs) section(input.kind + " " + input.name, input.content);
    std::ostringstream command;
    for (const std::string& w : c.command) {
        if (&w != &c.command.front()) command << " ";
        if (!w.empty() && w.find_first_of(" \t\"\\") == std::string::npos) command << w;
        else command << std::quoted(w);
    }
    section("command", command.str());
    section("stdout", c.out);
    section("stderr", c.err);
    for (const WRITTEN& w : c.written) section("written " + w.name, w.text);
    section("status", std::to_string(c.status));
    std::ofstream(c.path, std::ios::binary | std::ios::trunc) << out.str();
}

std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> cases;
    if (!std::filesystem::exists(dir)) return cases;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".golden") cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    return cases;
}

void write_inputs(const CASE& c, const std::filesystem::path& dir, const std::filesystem::path& source_root) {
    for (const INPUT& input : c.inputs) {
        const std::filesystem::path target = dir / input.name;
        std::filesystem::create_directories(target.parent_path());
        if (input.kind == "file")
            fixture::build_to(target, input.content);
        else if (input.kind == "text")
            std::ofstream(target, std::ios::binary) << input.content;
        else
            std::filesystem::copy_file(source_root / input.content, target);
    }
}

}  // namespace golden
