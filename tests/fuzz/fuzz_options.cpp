// Fuzz target: arbitrary command-line words for nmkite, which runs inside the fuzzer's process, so that the
// tool's own coverage guides the fuzzer. The input is split at NUL bytes into the words that follow the
// program's name; three sample files follow them as the last inputs: a QXCOFF object, an ELF shared object
// and an archive of ELF objects.
//
// Each run works in a scratch directory that holds copies of the samples, and the words lose their '/'
// characters: a file the tool writes (-O NAME) stays in that directory and is removed after the run, or,
// when it was a sample's copy (-O as the last word takes the first sample's name), the copy is made again.
// Crash reports still go where the fuzzer was started: unless the command line sets -artifact_prefix, it is
// that directory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* samples[] = {"kite-sample.qx", "libutil-i386.so", "libsample.a"};

// The directory for the whole run, with its copies of the samples; removed at the end.
class SCRATCH {
public:
    SCRATCH() {
        std::error_code ignored;
        fs::create_directories(path_, ignored);
        for (const char* sample : samples) copy(sample);
    }
    SCRATCH(const SCRATCH&) = delete;
    SCRATCH& operator=(const SCRATCH&) = delete;
    ~SCRATCH() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

    // Removes what a run wrote and makes again a copy that it wrote over or removed.
    void clean() {
        std::error_code ignored;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_, ignored)) {
            const auto kept = copies_.find(entry.path().filename().string());
            if (kept == copies_.end())
                fs::remove_all(entry.path(), ignored);
            else if (fs::last_write_time(entry.path(), ignored) != kept->second)
                copy(kept->first.c_str());
        }
        for (const char* sample : samples)
            if (!fs::exists(path_ / sample, ignored)) copy(sample);
    }

private:
    void copy(const char* sample) {
        std::error_code ignored;
        fs::copy_file(fs::path(NMKITE_FUZZ_SAMPLES) / sample, path_ / sample, fs::copy_options::overwrite_existing,
                      ignored);
        copies_[sample] = fs::last_write_time(path_ / sample, ignored);
    }

    fs::path path_ = fs::temp_directory_path() / ("nmkite-fuzz-options-" + std::to_string(::getpid()));
    std::map<std::string, fs::file_time_type> copies_;
};

SCRATCH& scratch() {
    static SCRATCH directory;
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::default_flag(argc, argv, "-artifact_prefix=" + fs::current_path().string() + "/");
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
    std::error_code ignored;
    const fs::path home = fs::current_path(ignored);
    fs::current_path(scratch().path(), ignored);
    (void)fuzz::run_tool(words);
    fs::current_path(home, ignored);
    scratch().clean();
    return 0;
}
