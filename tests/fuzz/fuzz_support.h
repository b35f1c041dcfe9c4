// What the fuzz targets share: the input bytes as a scratch file, and runs of the tool inside the fuzzer's
// process, each starting as the program starts and ending wherever the tool ends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// This process's scratch directory, removed with what it holds when the process ends.
const std::filesystem::path& scratch_dir();

// Writes the bytes to this process's scratch file, in that directory, and returns its path.
const std::string& scratch_file(const uint8_t* data, size_t size);

// Runs nmkite's program with these command-line words after the program's name and returns its exit
// status. An early end (usage, help, version, a fatal error: every call of diag_exit) comes back here
// through an exception; what the run left behind (option state, once-only warnings, error count, remapped
// severities, an output file left open) is released or put back, so every run starts alike. The listing and
// help go to standard output, which the first run points at the null device; diagnostics go there too.
int run_tool(const std::vector<std::string>& words);

// Lists the file at `path` as the tool lists an input file, once in each of four forms: short and long,
// symbol table and dynamic symbols, with the sort orders and filters, file names prepended and the
// QXCOFF-only symbols among them: each form a run of run_tool.
void list_in_every_form(const std::string& path);

}  // namespace fuzz
