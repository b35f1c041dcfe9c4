// roundtrip: reads object files (and every member of archives), saves each through the object-file library,
// reads the saved file back and compares: the library's information dump (file offsets, the file's length
// and an archive member's place aside), the reports of reading it, and a second save of the saved file (byte
// for byte).
//
//   roundtrip [--expect FILE] [--golden DIR [--source ROOT]] INPUT...
//
// An object listed with a reason that starts with "refused" must not be saved (the writer refuses it); one whose
// reason starts with "unstable" may also save differently the second time.
// --golden DIR adds every input of the golden cases in DIR: the fixture descriptions ("=== file") built with
// the fixture builder and the copied files ("=== copy", from the source root). --expect FILE names the objects
// that are known to read back differently, one "NAME: reason" per line ('#' starts a comment); each of them must
// still differ (a difference that goes away is reported, so that the list is kept honest). The status is 0 when
// every object read back as expected.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ar_reader.h"
#include "fixture.h"
#include "golden_case.h"
#include "ofe/object_file.h"
#include "ofe/of_types.h"
#include "util/pfile.h"

namespace fs = std::filesystem;
using namespace OFE;

namespace {

// ---- Reports the library makes, collected per object ----

std::vector<std::string>* collected = nullptr;
bool serious_report = false;  // an error (not a warning) was reported since this was last cleared

void collect(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    if (collected) collected->push_back(std::string(error_text(code)) + ": " + message);
    if (code != OF_ERR_WARNING && code != OF_ERR_VALUE_TRUNCATED && code != OF_ERR_DEVELOPMENT) serious_report = true;
    object->clear_error();
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- One object: where it lies and how messages name it ----

struct SOURCE {
    fs::path path;           // the file
    uint64_t offset = 0;     // of an archive member
    uint32_t size = 0;       // 0: the whole file
    std::string name;        // the object's name (the member's, or the file's)
    std::string container;   // the archive's name, for a member
    std::string display() const { return container.empty() ? name : container + "(" + name + ")"; }
};

// Opens the object a source describes; null when it is not one. The handle is closed by the caller.
OBJECT_FILE* open_object(const SOURCE& src, PFILE*& handle, std::vector<std::string>& reports) {
    handle = pfopen(src.path.c_str(), "rb");
    if (!handle) return nullptr;
    std::fseek(pffile(handle), static_cast<long>(src.offset), SEEK_SET);
    collected = &reports;
    OBJECT_FILE* object = OBJECT_FILE::open(handle, src.size, src.name.c_str(), collect,
                                            src.container.empty() ? nullptr : src.container.c_str());
    return object;
}

// The whole information dump, raw data and the detailed segment table included.
std::string dump_of(OBJECT_FILE* object) {
    for (const OF_DUMP_CATEGORY& c : OBJECT_FILE::dump_categories()) (void)object->select_dump_category(c.name, true);
    object->set_detailed_dump(true);
    FILE* out = std::tmpfile();
    object->dump(out);
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(out);
    return text;
}

// The dump with what a new layout changes taken out: file offsets and the file's length become "*", an archive
// member's place goes, and blank runs become one blank (a wider value moves the columns after it).
std::string masked(const std::string& dump, bool drop_time_stamp) {
    static const char* const offsets[] = {"File Offset:", "Reloc File Offset:", "Line File Offset:", "Line Offset:",
                                          "Symbol Table File Offset:", "String Table File Offset:", "File Length:"};
    std::istringstream in(dump);
    std::string out, line;
    while (std::getline(in, line)) {
        if (line.find("File Offset in Archive:") != std::string::npos) continue;
        if (drop_time_stamp && line.find("Time Stamp:") != std::string::npos) continue;
        // The number after each label (blanks between) becomes "*" (a label inside a longer one then finds "*").
        for (const char* label : offsets) {
            for (size_t at = line.find(label); at != std::string::npos; at = line.find(label, at + 1)) {
                size_t value = at + std::strlen(label);
                while (value < line.size() && line[value] == ' ') ++value;
                size_t end = value;
                while (end < line.size() && (std::isxdigit(static_cast<unsigned char>(line[end])) || line[end] == 'x'))
                    ++end;
                if (end > value) line.replace(value, end - value, "*");
            }
        }
        std::string squeezed;
        for (char c : line)
            if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' ')) squeezed.push_back(c);
        out += squeezed + "\n";
    }
    return out;
}

// The first line where two texts differ, both sides shown.
std::string first_difference(const std::string& a, const std::string& b) {
    std::istringstream x(a), y(b);
    std::string l, r;
    for (int n = 1;; ++n) {
        const bool more_l = static_cast<bool>(std::getline(x, l));
        const bool more_r = static_cast<bool>(std::getline(y, r));
        if (!more_l && !more_r) return "";
        if (!more_l) l = "(end)";
        if (!more_r) r = "(end)";
        if (l != r || !more_l || !more_r) return "line " + std::to_string(n) + ": \"" + l + "\" / \"" + r + "\"";
    }
}

// Saves the object to `path`; the reports of the step go to `reports`. True when it was saved.
bool save_object(OBJECT_FILE* object, const fs::path& path) {
    PFILE* out = pfopen(path.c_str(), "wb");
    if (!out) return false;
    OF_FILE_INFO info;
    info.handle = out;
    info.name = object->name();
    const int result = object->save(info);
    std::fflush(pffile(out));
    // The object holds the handle now: it goes first.
    delete object;
    pfclose(out);
    return result == 0;
}

// ---- The run ----

struct RESULT {
    std::string name;
    bool object = false;
    bool damaged = false;  // reading it reported an error: not saved
    bool saved = false;
    bool dump_same = false;
    bool second_same = false;
    std::string difference;
    std::vector<std::string> reports;  // during the save
};

class ROUNDTRIP {
public:
    fs::path work;
    std::map<std::string, std::string> expected;  // name -> reason
    std::vector<RESULT> results;

    // Round-trips one input file: every member of an archive, or the file.
    void input(const fs::path& path, const std::string& label) {
        const fs::path dir = work / std::to_string(serial_++);
        fs::create_directories(dir);
        PFILE* handle = pfopen(path.c_str(), "rb");
        if (!handle) {
            std::cerr << "roundtrip: cannot open " << path << "\n";
            return;
        }
        ar_reader* reader = ar_open(path.c_str(), handle, nullptr);
        if (ar_is_archive(reader)) {
            ar_read_index(reader);  // the long-name table names the members
            int n = 0;
            for (const ar_member* m = ar_first_member(reader); m; m = m->next, ++n)
                object(SOURCE{path, m->data_offset, static_cast<uint32_t>(m->size), m->name, label},
                       dir / ("member" + std::to_string(n)));
        } else {
            object(SOURCE{path, 0, 0, label, ""}, dir / path.filename());
        }
        ar_close(reader);
        pfclose(handle);
    }

    // Prints what went wrong and the totals; 0 when every object read back as expected.
    int summary() {
        int objects = 0, damaged = 0, same = 0, second = 0, failures = 0;
        std::set<std::string> seen;
        for (const RESULT& r : results) {
            if (!r.object) continue;
            seen.insert(r.name);
            if (r.damaged) {
                ++damaged;
                continue;
            }
            ++objects;
            same += r.dump_same;
            second += r.second_same;
            const auto it = expected.find(r.name);
            const std::string reason = it == expected.end() ? "" : it->second;
            const bool clean = r.saved && r.dump_same && r.second_same && r.reports.empty();
            std::string failure;
            if (reason.rfind("refused", 0) == 0) {
                if (r.saved) failure = "SAVED " + r.name + " (listed: " + reason + ")";  // the writer must refuse it
            } else if (it != expected.end() && clean) {
                failure = "UNEXPECTED SAME " + r.name + " (listed: " + reason + ")";
            } else if (!clean && (it == expected.end() || !r.saved ||
                                  (!r.second_same && reason.rfind("unstable", 0) != 0))) {
                // A known difference excuses the dump and the reports, not a failed save or an unstable one.
                failure = "DIFF " + r.name + (r.saved ? "" : " (not saved)") +
                          (r.dump_same ? "" : " dump " + r.difference) +
                          (r.saved && !r.second_same ? " (second save differs)" : "");
                for (const std::string& report : r.reports) failure += "\n    " + report;
            }
            if (!failure.empty()) {
                std::cout << failure << "\n";
                ++failures;
            }
        }
        for (const auto& [name, reason] : expected)
            if (!seen.count(name)) {
                std::cout << "NOT FOUND " << name << " (listed: " << reason << ")\n";
                ++failures;
            }
        std::cout << objects << " objects saved and read back: " << same << " with the same dump, " << second
                  << " saved again byte for byte; " << damaged
                  << " damaged inputs kept as they are; " << failures << " unexpected\n";
        return failures == 0 ? 0 : 1;
    }

private:
    // Saves one object to `out` and checks the read-back; false when the source is not an object (or could
    // not be saved).
    bool object(const SOURCE& src, const fs::path& out) {
        RESULT r;
        r.name = src.display();
        std::vector<std::string> ignored;
        // An empty archive member is no object (and an archive member needs its size).
        if (!src.container.empty() && src.size == 0) return false;
        PFILE* handle = nullptr;
        serious_report = false;
        OBJECT_FILE* original = open_object(src, handle, ignored);
        if (!original) {
            pfclose(handle);
            return false;
        }
        r.object = true;
        const std::string before = dump_of(original);
        const std::vector<std::string> read_before = ignored;  // reading and dumping the input
        const bool had_time = before.find("Time Stamp:") != std::string::npos;
        delete original;
        pfclose(handle);
        if (serious_report) {
            // A damaged input: what the library makes of it is not a round trip.
            r.damaged = true;
            collected = nullptr;
            results.push_back(r);
            return false;
        }

        OBJECT_FILE* again = open_object(src, handle, ignored);
        collected = &r.reports;
        r.saved = again && save_object(again, out);
        pfclose(handle);
        if (r.saved) {
            SOURCE back{out, 0, 0, src.name, src.container};
            std::vector<std::string> read_reports;
            OBJECT_FILE* reread = open_object(back, handle, read_reports);
            const std::string after = reread ? dump_of(reread) : "";
            const fs::path second = out.string() + ".again";
            collected = &r.reports;
            const bool saved_twice = reread && save_object(reread, second);
            pfclose(handle);
            r.second_same = saved_twice && read_file(out) == read_file(second);
            fs::remove(second);
            const std::string a = masked(before, false), b = masked(after, !had_time);
            r.dump_same = a == b && read_reports == read_before;
            if (a != b) r.difference = first_difference(a, b);
            else if (!r.dump_same) r.difference = "reading reports " + std::to_string(read_reports.size()) + ", not " +
                                                  std::to_string(read_before.size()) + " as the input's";
        }
        collected = nullptr;
        // What reading the input reports again while saving is the input's, not the writer's.
        std::vector<std::string> own;
        for (const std::string& report : r.reports)
            if (std::find(ignored.begin(), ignored.end(), report) == ignored.end()) own.push_back(report);
        r.reports = std::move(own);
        results.push_back(r);
        return r.saved;
    }

    int serial_ = 0;
};

// Every input of the golden cases: fixtures built into `dir`, copies named by their source paths.
std::vector<std::pair<fs::path, std::string>> golden_inputs(const fs::path& cases, const fs::path& source_root,
                                                             const fs::path& dir) {
    std::vector<std::pair<fs::path, std::string>> inputs;
    for (const fs::path& file : golden::find_cases(cases)) {
        const std::string label = fs::relative(file, cases).replace_extension("").string();
        for (const golden::INPUT& input : golden::read_case(file).inputs) {
            if (input.kind == "copy") {
                if (!input.content.empty()) inputs.emplace_back(source_root / input.content, label + "/" + input.name);
            } else if (input.kind == "file") {
                const fs::path out = dir / (label + "." + input.name);
                fs::create_directories(out.parent_path());
                try {
                    fixture::options opts;
                    opts.base_dir = file.parent_path();
                    fixture::write_file(out, fixture::build(input.content, opts));
                    inputs.emplace_back(out, label + "/" + input.name);
                } catch (const std::exception&) {
                    // A description the case only uses as a broken input.
                }
            }
        }
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    ROUNDTRIP run;
    std::vector<std::pair<fs::path, std::string>> inputs;
    fs::path golden, source_root = fs::current_path();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--golden" && value) {
            golden = argv[++i];
        } else if (a == "--source" && value) {
            source_root = argv[++i];
        } else if (a == "--expect" && value) {
            std::istringstream list(read_file(argv[++i]));
            for (std::string line; std::getline(list, line);) {
                const size_t colon = line.find(": ");
                if (!line.empty() && line[0] != '#')
                    run.expected[line.substr(0, colon)] = colon == std::string::npos ? "" : line.substr(colon + 2);
            }
        } else if (a.rfind("--", 0) == 0) {
            std::cerr << "usage: roundtrip [--expect FILE] [--golden DIR [--source ROOT]] INPUT...\n";
            return 2;
        } else {
            inputs.emplace_back(a, fs::path(a).filename().string());
        }
    }
    run.work = fs::temp_directory_path() / ("roundtrip-" + std::to_string(getpid()));
    fs::create_directories(run.work);
    if (!golden.empty()) {
        auto more = golden_inputs(golden, source_root, run.work / "golden");
        inputs.insert(inputs.end(), more.begin(), more.end());
    }
    for (const auto& [path, label] : inputs) run.input(path, label);
    const int status = run.summary();
    fs::remove_all(run.work);
    return status;
}
