// Golden case files: what they hold, and reading, rewriting and setting them up. The golden runner runs them;
// the round trip and the hostile-input test take their inputs.
//
// A case file holds sections, each opened by a line "=== KIND [NAME]":
//   === file NAME      a fixture description; the fixture builder writes NAME from it
//                      (names of inputs must also do on Windows: no AUX, CON, NUL, PRN, COMn
//                      or LPTn before the first dot, which name devices there)
//   === text NAME      NAME holds the following lines verbatim
//   === copy NAME      NAME is a copy of the file whose path (from the source root) is the next line
//   === command        one line: the command, words split at blanks, "..." quotes a word (\ escapes);
//                      the first word names the tool under test: nmkite, or ofdump, the
//                      object-file dumper
//   === stdout / === stderr   the exact expected stream; an empty section means "must be empty"
//   === written NAME   the exact contents of the file NAME that the command writes
//   === status         the exit status
// Lines before the first section are comments describing the case.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace golden {

// A file of a case: an input written into the case's temporary directory before the command runs, or a file
// the command must leave there (kind "written").
struct FILE_SECTION {
    std::string kind;     // file, text, copy or written: the section's kind
    std::string name;     // file name in the temporary directory
    std::string content;  // fixture description, verbatim text, the path to copy (from the source root), or
                          // the exact contents the command writes
};

struct CASE {
    std::filesystem::path path;
    std::string head;              // the text before the first expectation, kept on rewrite
    std::vector<FILE_SECTION> inputs;
    std::vector<std::string> command;
    std::string out, err;  // the expected streams, byte for byte
    std::vector<FILE_SECTION> written;
    int status = 0;
};

// Reads a case file; throws std::runtime_error naming the line on a malformed one.
CASE read_case(const std::filesystem::path& path);

// Writes the case back with new expectations after its head.
void write_case(const CASE& c);

// Every case file (*.golden) below a directory, sorted.
std::vector<std::filesystem::path> find_cases(const std::filesystem::path& dir);

// Writes the case's inputs into `dir` under their names: fixtures built from their descriptions, texts, and
// copies of files below `source_root`. Throws when an input cannot be made.
void write_inputs(const CASE& c, const std::filesystem::path& dir, const std::filesystem::path& source_root);

// Writes the inputs of every case below `cases` into a directory of `dir` named after the case, and returns each
// file written but the texts, with its label: the case's name, '/' and the file's.
std::vector<std::pair<std::filesystem::path, std::string>> write_every_input(const std::filesystem::path& cases,
                                                                             const std::filesystem::path& dir,
                                                                             const std::filesystem::path& source_root);

// The whole contents of a file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace golden
