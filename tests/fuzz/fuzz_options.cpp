// Fuzz target: arbitrary command-line words. The input is split at NUL bytes into words that follow the
// program's name; a small object file is appended as the last word. Usage errors, help and version
// requests end the tool's process, so each input runs the tool (this build's nmkite, with the sanitizers)
// in a child process. A child killed by a signal, or ended by a sanitizer report, is a finding.
//
// The child's coverage does not reach the fuzzer: here it mutates words blindly, from the seeds.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The child's status when a sanitizer reports: one the tool itself never uses.
constexpr int sanitizer_status = 86;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> words = {NMKITE_FUZZ_TOOL};
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
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::string asan = "ASAN_OPTIONS=exitcode=" + std::to_string(sanitizer_status);
    std::string ubsan = "UBSAN_OPTIONS=halt_on_error=1:exitcode=" + std::to_string(sanitizer_status);
    char* env[] = {asan.data(), ubsan.data(), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        // The tool writes to files named on its command line only with -O: keep that in the scratch area.
        if (chdir("/tmp") != 0) _exit(0);
        const int null = open("/dev/null", 1);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execve(argv[0], argv.data(), env);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0) return 0;
    if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == sanitizer_status)) std::abort();
    return 0;
}
