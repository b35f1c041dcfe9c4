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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ar_reader.h"
#include "golden_case.h"
#include "ofe/object_file.h"
#include "ofe/of_types.h"
#include "util/pfile.h"

namespace fs = std::filesystem;
using namespace OFE;
using golden::read_file;

namespace {

// ---- Reports the library makes, collected per object ----

std::vector<std::string>* collected = nullptr;
bool serious_report = false;  // an error (not a warning) was reported since this was last cleared

void collect(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    if (collected) collected->push_back(std::string(error_text(code)) + ": " + message);
    if (code != OF_ERR_WARNING && code != OF_ERR_VALUE_TRUNCATED && code != OF_ERR_DEVELOPMENT) serious_report = true;
    object->clear_error();
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

// The whole information dump, raw data and the detailed segment table included.
std::string dump_of(OBJECT_FILE* object) {
    for (const OF_DUMP_CATEGORY& c : OBJECT_FILE::dump_categories()) (void)object->select_dump_category(c.name, true);
    object->set_detailed_dump(true);
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    object->dump(out);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// The dump with what a new layout changes taken out: file offsets and the file's length become "*", an archive
// member's place goes, and blank runs become one blank (a wider value moves the columns after it).
std::string masked(const std::string& dump, bool drop_time_stamp) {
    // "File Offset:" also ends the labels of the relocations', line numbers', symbol and string tables' offsets.
    static const char* const offsets[] = {"File Offset:", "Line Offset:", "File Length:"};
    std::istringstream in(dump);
    std::string out, line;
    while (std::getline(in, line)) {
        if (line.find("File Offset in Archive:") != std::string::npos) continue;
        if (drop_time_stamp && line.find("Time Stamp:") != std::string::npos) continue;
        // The number after each label (blanks between) becomes "*".
        for (const char* label : offsets) {
            for (size_t at = line.find(label); at != std::string::npos; at = line.find(label, at + 1)) {
                const size_t value = std::min(line.find_first_not_of(' ', at + std::strlen(label)), line.size());
                const size_t end = std::min(line.find_first_not_of("0123456789abcdefABCDEFx", value), line.size());
                if (end > value) line.replace(value, end - value, "*");
            }
        }
        const auto blanks = [](char a, char b) { return a == ' ' && b == ' '; };
        line.erase(std::unique(line.begin(), line.end(), blanks), line.end());
        out += line + "\n";
    }
    return out;
}

// The first line where two different texts differ, both sides shown.
std::string first_difference(const std::string& a, const std::string& b) {
    const size_t at = static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
    const size_t start = at == 0 ? 0 : a.rfind('\n', at - 1) + 1;  // (npos + 1 is 0)
    auto line = [&](const std::string& s) {
        return std::string("\"").append(s, start, s.find('\n', start) - start).append("\"");
    };
    const auto number = std::count(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(start), '\n') + 1;
    return "line " + std::to_string(number) + ": " + line(a) + " / " + line(b);
}

// One pass over the object a source describes: opens it, dumps it when `dump`, and saves it to `out` when that
// is not empty. The reports of reading and dumping go to `read`, those of saving to `writing`.
struct PASS {
    bool object = false, saved = false;  // it is an object; it was saved
    std::string dump;
};
PASS pass(const SOURCE& src, bool dump, const fs::path& out, std::vector<std::string>& read,
          std::vector<std::string>& writing) {
    PASS result;
    PFILE* handle = pfopen(src.path.c_str(), "rb");
    if (!handle) return result;
    std::fseek(pffile(handle), static_cast<long>(src.offset), SEEK_SET);
    collected = &read;
    OBJECT_FILE* object = OBJECT_FILE::open(handle, src.size, src.name.c_str(), collect,
                                            src.container.empty() ? nullptr : src.container.c_str());
    result.object = object != nullptr;
    if (object && dump) result.dump = dump_of(object);
    PFILE* saved = object && !out.empty() ? pfopen(out.c_str(), "wb") : nullptr;
    if (saved) {
        collected = &writing;
        OF_FILE_INFO info;
        info.handle = saved;
        info.name = object->name();
        result.saved = object->save(info) == 0;
        std::fflush(pffile(saved));
    }
    delete object;  // it holds the output's handle: it goes first
    if (saved) pfclose(saved);
    pfclose(handle);
    collected = nullptr;
    return result;
}

// ---- The run ----

class ROUNDTRIP {
public:
    fs::path work;
    std::map<std::string, std::string> expected;  // name -> reason

    // Round-trips one input file: every member of an archive, or the file.
    void input(const fs::path& path, const std::string& label) {
        PFILE* handle = pfopen(path.c_str(), "rb");
        if (!handle) {
            std::cerr << "roundtrip: cannot open " << path << "\n";
            return;
        }
        ar_reader* reader = ar_open(path.c_str(), handle, nullptr);
        if (ar_is_archive(reader)) {
            ar_read_index(reader);  // the long-name table names the members
            for (const ar_member* m = ar_first_member(reader); m; m = m->next)
                if (m->size > 0)  // an empty member is no object
                    object(SOURCE{path, m->data_offset, static_cast<uint32_t>(m->size), m->name, label});
        } else {
            object(SOURCE{path, 0, 0, label, ""});
        }
        ar_close(reader);
        pfclose(handle);
    }

    // Prints what went wrong and the totals; 0 when every object read back as expected.
    int summary() {
        for (const auto& [name, reason] : expected)
            if (!seen_.count(name)) failures_.push_back("NOT FOUND " + name + " (listed: " + reason + ")");
        for (const std::string& failure : failures_) std::cout << failure << "\n";
        std::cout << objects_ << " objects saved and read back: " << same_ << " with the same dump, " << second_
                  << " saved again byte for byte; " << damaged_ << " damaged inputs kept as they are; "
                  << failures_.size() << " unexpected\n";
        return failures_.empty() ? 0 : 1;
    }

private:
    // Saves one object, reads it back and saves that again, and judges the outcome; nothing when the source is
    // not an object.
    void object(const SOURCE& src) {
        const fs::path out = work / std::to_string(serial_++), second = out.string() + ".again";
        // Reading and dumping the input, and the saved file; what saving reports; what goes unused.
        std::vector<std::string> read_before, read_after, reports, ignored;
        serious_report = false;
        const PASS input = pass(src, true, "", read_before, ignored);
        if (!input.object) return;
        const std::string name = src.display();
        seen_.insert(name);
        if (serious_report) {  // a damaged input: what the library makes of it is not a round trip
            ++damaged_;
            return;
        }
        const bool saved = pass(src, false, out, ignored, reports).saved;
        bool dump_same = false, second_same = false;
        std::string difference;
        if (saved) {
            const PASS reread = pass(SOURCE{out, 0, 0, src.name, src.container}, true, second, read_after, reports);
            second_same = reread.saved && read_file(out) == read_file(second);
            fs::remove(second);
            const std::string a = masked(input.dump, false);
            const std::string b = masked(reread.dump, input.dump.find("Time Stamp:") == std::string::npos);
            dump_same = a == b && read_after == read_before;
            difference = a != b ? " dump " + first_difference(a, b)
                                : " dump: reading reports " + std::to_string(read_after.size()) + ", not " +
                                      std::to_string(read_before.size()) + " as the input's";
        }
        // What reading the input reports again while saving is the input's, not the writer's.
        std::erase_if(reports, [&](const std::string& report) {
            return std::find(read_before.begin(), read_before.end(), report) != read_before.end();
        });
        ++objects_;
        same_ += dump_same;
        second_ += second_same;

        const auto it = expected.find(name);
        const std::string reason = it == expected.end() ? "" : it->second;
        const bool clean = saved && dump_same && second_same && reports.empty();
        if (reason.rfind("refused", 0) == 0) {
            if (saved) failures_.push_back("SAVED " + name + " (listed: " + reason + ")");  // it must be refused
        } else if (it != expected.end() && clean) {
            failures_.push_back("UNEXPECTED SAME " + name + " (listed: " + reason + ")");
        } else if (!clean && (it == expected.end() || !saved || (!second_same && reason.rfind("unstable", 0) != 0))) {
            // A known difference excuses the dump and the reports, not a failed save or an unstable one.
            std::string failure = "DIFF " + name + (saved ? "" : " (not saved)") + (dump_same ? "" : difference) +
                                  (saved && !second_same ? " (second save differs)" : "");
            for (const std::string& report : reports) failure += "\n    " + report;
            failures_.push_back(failure);
        }
    }

    int serial_ = 0;
    int objects_ = 0, damaged_ = 0, same_ = 0, second_ = 0;
    std::set<std::string> seen_;
    std::vector<std::string> failures_;
};

}  // namespace

int main(int argc, char** argv) {
    ROUNDTRIP run;
    std::vector<std::pair<fs::path, std::string>> inputs;
    fs::path cases, source_root = fs::current_path();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--golden" && value) {
            cases = argv[++i];
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
    if (!cases.empty()) {
        const auto golden_inputs = golden::write_every_input(cases, run.work / "golden", source_root);
        inputs.insert(inputs.end(), golden_inputs.begin(), golden_inputs.end());
    }
    for (const auto& [path, label] : inputs) run.input(path, label);
    const int status = run.summary();
    fs::remove_all(run.work);
    return status;
}
