// Fuzz target: arbitrary command-line words for nmkite, which runs inside the fuzzer's process, so that the
// tool's own coverage guides the fuzzer. The input is split at NUL bytes into the words that follow the
// program's name; three sample files follow them as the last inputs: a QXCOFF object, an ELF shared object
// and an archive of ELF objects.
//
// Each run works in a scratch directory that holds fresh copies of the samples, and the words lose their '/'
// characters: a file the tool writes (-O NAME, or over a sample's copy) stays in that directory and is gone
// before the next run.
// Crash reports still go where the fuzzer was started: unless the command line sets -artifact_prefix, it is
// that directory.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_support.h"

namespace fs = std::filesystem;

static constexpr const char* samples[] = {"kite-sample.qx", "libutil-i386.so", "libsample.a"};

// The prefix goes right after the program's name: one that the command line sets comes later, and wins.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::string prefix = "-artifact_prefix=" + fs::current_path().string() + "/";
    static std::vector<char*> args(*argv, *argv + *argc);  // lives as long as the process, as the fuzzer expects
    args.insert(args.begin() + 1, prefix.data());
    args.push_back(nullptr);
    *argv = args.data();
    ++*argc;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else if (data[i] != '/')
            words.back() += static_cast<char>(data[i]);
    }
    for (const char* sample : samples) words.emplace_back(sample);
    // A fresh directory for each run, with copies of the samples.
    const fs::path dir = fuzz::scratch_dir() / "run";
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir, ignored);
    for (const char* sample : samples) fs::copy_file(fs::path(NMKITE_FUZZ_SAMPLES) / sample, dir / sample, ignored);
    const fs::path home = fs::current_path(ignored);
    fs::current_path(dir, ignored);
    (void)fuzz::run_tool(words);
    fs::current_path(home, ignored);
    return 0;
}
