// Running nmkite inside the fuzzer's process: the scratch file, the exit hook and the state put back
// after each run.
#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <system_error>

#include "DIAG/diag.h"
#include "DIAG/user_msg_api.h"
#include "nm/nm_tool.h"
#include "util/pfile.h"

using namespace OFE;

namespace fuzz {

namespace {

// How a run that diag_exit ends comes back to run_tool.
struct TOOL_EXIT {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw TOOL_EXIT{status}; }

// What a run may change that the program starts with: the diagnostics' settings (the message wrapping
// option) and the message kinds' severities (-Werror remaps them).
struct START {
    DIAG::SETTINGS settings;
    std::vector<DIAG::diag_severity> severities;
    FILE* null = nullptr;
};

void restore(const START& start) {
    DIAG::settings() = start.settings;
    DIAG::settings().output_stream = start.null;
    size_t i = 0;
    for (DIAG::DIAG_MSG_KIND* k = DIAG::msg_kinds; k->code != 0; ++k) k->severity = start.severities[i++];
    DIAG::user_msg_context()->warnings_as_errors = false;
    DIAG::diag_reset_error_count();
    NM_TOOL& tool = nm_tool();
    delete tool.options;
    tool = NM_TOOL{};
}

const START& start() {
    static const START state = [] {
        START s;
        s.settings = DIAG::settings();
        for (const DIAG::DIAG_MSG_KIND* k = DIAG::msg_kinds; k->code != 0; ++k) s.severities.push_back(k->severity);
        // The tool's output and diagnostics would drown the fuzzer's report, which goes to standard error.
        s.null = std::fopen("/dev/null", "w");
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
        DIAG::diag_set_exit_hook(throw_exit);
        restore(s);
        return s;
    }();
    return state;
}

}  // namespace

const std::filesystem::path& scratch_dir() {
    struct SCRATCH {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("nmkite-fuzz-" + std::to_string(::getpid()));
        SCRATCH() { std::filesystem::create_directories(path); }
        ~SCRATCH() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const SCRATCH scratch;
    return scratch.path;
}

const std::string& scratch_file(const uint8_t* data, size_t size) {
    static const std::string path = (scratch_dir() / "input").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

int run_tool(const std::vector<std::string>& words) {
    const START& state = start();
    std::vector<std::string> args = {"nmkite"};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int status = 0;
    try {
        status = nm_main(static_cast<int>(args.size()), argv.data());
    } catch (const TOOL_EXIT& end) {
        status = end.status;
        // The output file, when the run got as far as opening it (nm_main closes it when it returns).
        PFILE* output = nm_tool().output;
        if (output && output != pfstdout()) pfclose(output);
    }
    restore(state);
    return status;
}

void list_in_every_form(const std::string& path) {
    static const std::vector<std::vector<std::string>> forms = {
        {}, {"-l", "-a", "-n"}, {"-D", "-A", "-r", "-g"}, {"-D", "-l", "-p", "-u"}};
    for (std::vector<std::string> words : forms) {
        words.push_back(path);
        (void)run_tool(words);
    }
}

}  // namespace fuzz
