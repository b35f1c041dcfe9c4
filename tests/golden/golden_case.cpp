// Reading and rewriting golden case files.
#include "golden_case.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace golden {

namespace {

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

}  // namespace

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

std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> cases;
    if (!std::filesystem::exists(dir)) return cases;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".golden") cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    return cases;
}

}  // namespace golden
