// Hostile inputs: thousands of damaged objects and archives, each listed by nmkite in a child process
// under a CPU-time limit. Every run must end by itself with status 0 or 1, within the time and memory
// bounds, and without a sanitizer report.
//
// The damaged files are made from real compiler output and fixture-built objects of every format by bit
// flips, truncation, overwritten bytes and size fields inflated to huge values, from a fixed seed: the same
// files on every run. NMKITE_HOSTILE_COUNT sets how many (default 2000; 1000 in sanitizer builds).
//
// Crafted files, made from descriptions, go through the library's information dump (ofdump) and the
// listing under the same limits: each once took far longer than its bytes warrant.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "fixture.h"
#include "golden_case.h"

namespace fs = std::filesystem;

namespace {

using bytes = std::vector<unsigned char>;

#ifdef NMKITE_SANITIZED
constexpr int default_count = 1000;
constexpr long memory_limit_kib = 600 * 1024;  // the sanitizers' shadow memory and quarantine included
#else
constexpr int default_count = 2000;
constexpr long memory_limit_kib = 100 * 1024;
#endif
constexpr int cpu_limit_seconds = 10;

// This process's working directory: made by each test, removed at its end.
const fs::path dir = fs::temp_directory_path() / ("nmkite-hostile-" + std::to_string(getpid()));

// The undamaged inputs: every input of the golden cases, fixture-built files of every format and real compiler
// and archiver output.
std::vector<bytes> seeds() {
    std::vector<bytes> out;
    for (const auto& [path, label] : golden::write_every_input(NMKITE_GOLDEN_DIR, dir / "seeds", NMKITE_SOURCE_DIR)) {
        const std::string file = golden::read_file(path);
        out.emplace_back(file.begin(), file.end());
    }
    return out;
}

// One damaged copy of a seed: a few changes of one kind.
bytes damage(const bytes& seed, std::mt19937& rng) {
    bytes b = seed;
    auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
    const int changes = 1 + static_cast<int>(pick(6));
    switch (pick(4)) {
    case 0:  // bit flips
        for (int i = 0; i < changes && !b.empty(); ++i) b[pick(b.size())] ^= static_cast<unsigned char>(1u << pick(8));
        break;
    case 1:  // truncation
        b.resize(pick(b.size()));
        break;
    case 2: {  // a size, count or offset field made huge, mostly in the headers
        static const uint32_t huge[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFF, 0x10000, 0x0FFFFFFF};
        for (int i = 0; i < changes && b.size() >= 4; ++i) {
            const size_t at = (pick(2) ? pick(std::min<size_t>(b.size() - 3, 256)) : pick(b.size() - 3)) & ~size_t{1};
            const uint32_t v = huge[pick(std::size(huge))];
            for (int k = 0; k < 4; ++k) b[at + k] = static_cast<unsigned char>(v >> (8 * (pick(2) ? k : 3 - k)));
        }
        break;
    }
    default:  // random bytes
        for (int i = 0; i < changes * 4 && !b.empty(); ++i) b[pick(b.size())] = static_cast<unsigned char>(pick(256));
        break;
    }
    return b;
}

// Runs argv under the limits, its standard error written to `errors`; returns what went wrong (a signal, the
// CPU limit, a status above 1, too much memory, a sanitizer report), or nothing when the run was clean.
std::string run_within_bounds(const std::vector<std::string>& argv, const fs::path& errors) {
    const auto start = std::chrono::steady_clock::now();
    const CHILD_RESULT r = run_child(argv, "/dev/null", errors.string(), "", cpu_limit_seconds);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text = golden::read_file(errors);
    const bool report = text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos;
    if (r.status <= 1 && !report && r.max_rss_kib <= memory_limit_kib) return "";
    return std::string(r.signal == SIGXCPU || r.signal == SIGKILL ? "CPU limit reached, " : "") + "status " +
           std::to_string(r.status) + ", " + std::to_string(r.max_rss_kib) + " KiB, " + std::to_string(seconds) +
           " s\n" + (report ? text.substr(0, 2000) : "");
}

TEST(HostileInputs, EveryDamagedFileEndsCleanlyWithinBounds) {
    const std::vector<bytes> originals = seeds();
    const std::vector<std::string> forms[] = {{}, {"-l"}, {"-D"}, {"-A", "-a", "-n"}};
    std::mt19937 rng(20261205);
    int failures = 0;
    const char* count = std::getenv("NMKITE_HOSTILE_COUNT");
    for (int i = 0, wanted = count ? std::atoi(count) : default_count; i < wanted && failures < 10; ++i) {
        const bytes& seed = originals[static_cast<size_t>(i) % originals.size()];
        const fs::path file = dir / "damaged.o";
        fixture::write_file(file.string(), damage(seed, rng));
        std::vector<std::string> argv = forms[i % std::size(forms)];
        argv.insert(argv.begin(), NMKITE_BINARY);
        argv.push_back(file.string());
        const std::string failure = run_within_bounds(argv, dir / "stderr.txt");
        if (!failure.empty()) {
            ++failures;
            const fs::path keep = fs::temp_directory_path() / ("nmkite-hostile-failure-" + std::to_string(i) + ".o");
            fs::copy_file(file, keep, fs::copy_options::overwrite_existing);
            ADD_FAILURE() << "input " << i << " kept as " << keep << ": " << failure;
        }
    }
    fs::remove_all(dir);
}

// Files whose dump looked up each of 65,000 sections' load address by a walk over 65,535 program headers.
// In the first, the headers are 4 bytes apart, each reading 32 bytes: entry i's type is word i and its
// address word i + 2. The words are 1 (PT_LOAD) or 2 at random, so no PT_LOAD entry holds address 0, where
// the sections lie, and the walk's branches cannot be predicted. In the second, the headers' entry size is
// 0: they cover no bytes and read as PT_NULL entries.
TEST(CraftedInputs, DumpedAndListedCleanlyWithinBounds) {
    std::mt19937 rng(20261206);
    std::string words;
    for (int i = 0; i < 65535 + 7; ++i) words.append(i ? "," : "").append(std::to_string(1 + rng() % 2));
    const std::string descriptions[] = {
        "elf32 le exec\nsection .ph words=" + words +
            "\nsections 65000\nheader e_phoff=52 e_phentsize=4 e_phnum=65535\n",
        "elf32 le exec\nsections 65000\nheader e_phentsize=0 e_phnum=65535\n",
    };
    fs::create_directories(dir);
    for (const std::string& description : descriptions) {
        const fs::path file = dir / "crafted.o";
        fixture::write_file(file.string(), fixture::build(description));
        for (const std::vector<std::string>& argv :
             {std::vector<std::string>{OFDUMP_BINARY, file.string()}, {NMKITE_BINARY, "-l", file.string()}})
            EXPECT_EQ(run_within_bounds(argv, dir / "stderr.txt"), "")
                << argv[0] << " on " << description.substr(0, 40);
    }
    fs::remove_all(dir);
}

}  // namespace
