// Reading, rewriting and setting up golden case files.
#include "golden_case.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "fixture.h"

namespace golden {

namespace fs = std::filesystem;

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
    bool in_head = true;  // before the first expectation
    auto finish = [&]() {
        if (kind.empty()) return;
        const std::string where = path.string() + ":" + std::to_string(section_line);
        if (kind == "file" || kind == "text" || kind == "copy" || kind == "written") {
            if (name.empty()) throw std::runtime_error(where + ": section needs a file name");
            (kind == "written" ? c.written : c.inputs)
                .push_back(FILE_SECTION{kind, name, kind == "copy" ? body.substr(0, body.find('\n')) : body});
        } else if (kind == "command") {
            c.command = split_words(body.substr(0, body.find('\n')));
            if (c.command.empty()) throw std::runtime_error(where + ": empty command");
        } else if (kind == "stdout" || kind == "stderr") {
            (kind == "stdout" ? c.out : c.err) = body;
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
            if (kind == "stdout" || kind == "stderr" || kind == "written" || kind == "status") in_head = false;
        } else {
            body += line + "\n";
        }
        if (in_head) c.head += line + "\n";
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
    out << c.head;
    section("stdout", c.out);
    section("stderr", c.err);
    for (const FILE_SECTION& w : c.written) section("written " + w.name, w.content);
    section("status", std::to_string(c.status));
    std::ofstream(c.path, std::ios::binary | std::ios::trunc) << out.str();
}

std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> cases;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".golden") cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    return cases;
}

void write_inputs(const CASE& c, const std::filesystem::path& dir, const std::filesystem::path& source_root) {
    for (const FILE_SECTION& input : c.inputs) {
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

std::vector<std::pair<fs::path, std::string>> write_every_input(const fs::path& cases, const fs::path& dir,
                                                                const fs::path& source_root) {
    std::vector<std::pair<fs::path, std::string>> written;
    for (const fs::path& file : find_cases(cases)) {
        const std::string label = fs::relative(file, cases).replace_extension("").string();
        const CASE c = read_case(file);
        write_inputs(c, dir / label, source_root);
        for (const FILE_SECTION& input : c.inputs)
            if (input.kind != "text") written.emplace_back(dir / label / input.name, label + "/" + input.name);
    }
    return written;
}

}  // namespace golden
