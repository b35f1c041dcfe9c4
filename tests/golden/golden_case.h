// A golden case of the command line: input files, one command, and its exact expected output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace golden {

// One input written into the case's temporary directory before the command runs.
struct INPUT {
    enum class KIND { fixture, text, copy } kind;
    std::string name;     // file name in the temporary directory
    std::string content;  // fixture description, verbatim text, or the path to copy (from the source root)
};

// An expected stream, byte for byte.
struct STREAM {
    std::string text;
    bool present = false;
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
    STREAM out, err;
    std::vector<WRITTEN> written;
    int status = 0;
};

// Reads a case file; throws std::runtime_error naming the line on a malformed one.
CASE read_case(const std::filesystem::path& path);
// Writes the case back with new expectations.
void write_case(const CASE& c);
// Every case file (*.golden) below a directory, sorted.
std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir);

}  // namespace golden
