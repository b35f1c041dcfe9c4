// Fuzz target: arbitrary command-line words. The input is split at NUL bytes into words that follow the
// program's name; a small object file is appended as the last word. The tool runs in a child process,
// because usage errors, help and version requests end the process; a child killed by a signal is a finding.
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "nm/nm_tool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> words = {"nmkite"};
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    words.push_back(NMKITE_FUZZ_SAMPLE);
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        std::_Exit(nm_main(static_cast<int>(words.size()), argv.data()) & 0xff);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0) return 0;
    if (WIFSIGNALED(status)) std::abort();
    // Exit statuses above 1 mean a sanitizer report in the child.
    if (WIFEXITED(status) && WEXITSTATUS(status) > 1) std::abort();
    return 0;
}
