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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../golden/child_process.h"
#include "fixture.h"

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

bytes read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

// The undamaged inputs: real objects and libraries, and fixture-built files of each format.
std::vector<bytes> seeds() {
    std::vector<bytes> out;
    const fs::path src = NMKITE_SOURCE_DIR;
    for (const char* p : {"examples/hello-i386.o", "examples/hello-ppc-be.o", "examples/libsample.a",
                          "examples/kite-sample.qx", "tests/golden/inputs/dynamic/libsysv.so",
                          "tests/golden/inputs/dynamic/pie.exe", "tests/golden/inputs/dynamic/libgnuhash.so",
                          "tests/golden/inputs/archive/libreal.a"})
        out.push_back(read_file(src / p));
    const char* descriptions[] = {
        "qxcoff v0 le\nopthdr\nsection .text halves=1,2,3 flags=text\nsection .data halves=4 flags=data\n"
        "reloc .text vaddr=1 symndx=1 type=16\nlnno .text addr=1 line=0\nlnno .text addr=2 line=2\n"
        "symbol f.c scnum=debug sclass=file auxfile=\"f.c\"\nsymbol _main scnum=.text type=int:func auxsize=3\n"
        "symbol .bf scnum=.text sclass=101 auxline=7\nsymbol a_long_symbol_name scnum=.data\n",
        "qxcoff v1 be\nsection .text halves=1,2 flags=text\nsection .bss size=4 flags=bss\n"
        "symbol _x value=1 scnum=.text\nsymbol _tag scnum=debug sclass=10 type=struct auxsize=8 auxnext=3\n"
        "symbol another_long_name scnum=abs\n",
        "archive filenames\nmember a_long_member_name_here.o\n    elf32 be rel\n    section .text data=00\n"
        "    symbol f section=.text\nmember short.o\n    qxcoff v2 le\n    symbol _g scnum=abs\n",
        "elf32 le exec\nsection .text data=00112233 flags=ax\nsymbol main section=.text type=func\n"
        "dynsym main section=.text type=func\ndynsym ext\ndynamic needed \"libk.so\"\ngnuhash\n",
    };
    for (const char* d : descriptions) out.push_back(fixture::build(d));
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

struct outcome {
    bool signalled = false;
    bool timed_out = false;
    int status = 0;
    long max_rss_kib = 0;
    double seconds = 0;
    std::string errors;  // standard error, when it holds a sanitizer report
};

outcome run(const std::vector<std::string>& argv, const fs::path& errors) {
    outcome o;
    const auto start = std::chrono::steady_clock::now();
    const CHILD_RESULT r = run_child(argv, "/dev/null", errors.string(), "", cpu_limit_seconds);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.max_rss_kib = r.max_rss_kib;
    o.signalled = r.signal != 0;
    o.timed_out = r.signal == SIGXCPU || r.signal == SIGKILL;
    o.status = o.signalled ? 0 : r.status;
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos)
        o.errors = text.substr(0, 2000);
    return o;
}

int count_wanted() {
    const char* env = std::getenv("NMKITE_HOSTILE_COUNT");
    return env ? std::atoi(env) : default_count;
}

fs::path work_dir() {
    const fs::path dir = fs::temp_directory_path() / ("nmkite-hostile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

// Whether a run broke a bound or ended other than by itself with status 0 or 1; and how it ended, in words.
bool bad(const outcome& o) {
    return o.signalled || o.status > 1 || !o.errors.empty() || o.max_rss_kib > memory_limit_kib;
}
std::string described(const outcome& o) {
    return std::string(o.timed_out ? "CPU limit reached" : o.signalled ? "killed by a signal" : "") + " status " +
           std::to_string(o.status) + ", " + std::to_string(o.max_rss_kib) + " KiB, " + std::to_string(o.seconds) +
           " s\n" + o.errors;
}

TEST(HostileInputs, EveryDamagedFileEndsCleanlyWithinBounds) {
    const std::vector<bytes> originals = seeds();
    const fs::path dir = work_dir();
    const fs::path errors = dir / "stderr.txt";
    const char* forms[][3] = {{"", "", ""}, {"-l", "", ""}, {"-D", "", ""}, {"-A", "-a", "-n"}};
    std::mt19937 rng(20261205);
    int failures = 0;
    const int wanted = count_wanted();
    for (int i = 0; i < wanted; ++i) {
        const bytes& seed = originals[static_cast<size_t>(i) % originals.size()];
        const fs::path file = dir / ("damaged-" + std::to_string(i) + ".o");
        fixture::write_file(file.string(), damage(seed, rng));
        std::vector<std::string> argv = {NMKITE_BINARY};
        for (const char* f : forms[i % std::size(forms)])
            if (*f) argv.emplace_back(f);
        argv.push_back(file.string());
        const outcome o = run(argv, errors);
        if (bad(o)) {
            ++failures;
            const fs::path keep = fs::temp_directory_path() / ("nmkite-hostile-failure-" + std::to_string(i) + ".o");
            fs::copy_file(file, keep, fs::copy_options::overwrite_existing);
            ADD_FAILURE() << "input " << i << " kept as " << keep << ": " << described(o);
            if (failures >= 10) break;
        }
        fs::remove(file);
    }
    fs::remove_all(dir);
}

// Files whose dump looked up each of 65,000 sections' load address by a walk over 65,535 program headers.
// In the first, the headers are 4 bytes apart, each reading 32 bytes: entry i's type is word i and its
// address word i + 2. The words are 1 (PT_LOAD) or 2 at random, so no PT_LOAD entry holds address 0, where
// the sections lie, and the walk's branches cannot be predicted. In the second, the headers' entry size is
// 0: they cover no bytes and read as PT_NULL entries.
std::vector<std::string> crafted_descriptions() {
    std::mt19937 rng(20261206);
    std::string words;
    for (int i = 0; i < 65535 + 7; ++i) {
        if (i) words += ',';
        words += std::to_string(1 + rng() % 2);
    }
    return {
        "elf32 le exec\nsection .ph words=" + words +
            "\nsections 65000\nheader e_phoff=52 e_phentsize=4 e_phnum=65535\n",
        "elf32 le exec\nsections 65000\nheader e_phentsize=0 e_phnum=65535\n",
    };
}

TEST(CraftedInputs, DumpedAndListedCleanlyWithinBounds) {
    const fs::path dir = work_dir();
    const fs::path errors = dir / "stderr.txt";
    int n = 0;
    for (const std::string& description : crafted_descriptions()) {
        const fs::path file = dir / ("crafted-" + std::to_string(n++) + ".o");
        fixture::write_file(file.string(), fixture::build(description));
        for (const std::vector<std::string>& argv :
             {std::vector<std::string>{OFDUMP_BINARY, file.string()}, {NMKITE_BINARY, "-l", file.string()}}) {
            const outcome o = run(argv, errors);
            EXPECT_FALSE(bad(o)) << argv[0] << " on crafted input " << n - 1 << ": " << described(o);
        }
    }
    fs::remove_all(dir);
}

}  // namespace
