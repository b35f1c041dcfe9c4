// roundtrip: reads object files (and every member of archives), saves each through the object-file library,
// reads the saved file back and compares: the library's information dump (file offsets, the file's length
// and an archive member's place aside), a second save of the saved file (byte for byte), and the nmkite
// listings of the original and the saved files in every form.
//
//   roundtrip [--nmkite PATH] [--expect FILE] [--keep DIR] [--golden DIR] [--verbose] INPUT...
//
// --golden DIR adds every input of the golden cases in DIR: the fixture descriptions ("=== file") built with
// the fixture builder and the copied files ("=== copy", from the source root). --expect FILE names the objects
// that are known to read back differently, one "NAME: reason" per line ('#' starts a comment); each of them must
// still differ (a difference that goes away is reported, so that the list is kept honest). The status is 0 when
// every object read back as expected.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ar_reader.h"
#include "fixture.h"
#include "ofe/object_file.h"
#include "ofe/of_types.h"
#include "util/pfile.h"

namespace fs = std::filesystem;
using namespace OFE;

namespace {

// ---- Reports the library makes, collected per object ----

std::vector<std::string>* collected = nullptr;

void collect(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    if (collected) collected->push_back(std::string(error_text(code)) + ": " + message);
    object->clear_error();
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

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
    static const std::regex offsets(
        R"(((?:File Offset|Reloc File Offset|Line File Offset|Line Offset|Symbol Table File Offset|String Table File Offset|File Length):\s+)(0x[0-9a-fA-F]+|[0-9]+))");
    std::istringstream in(dump);
    std::string out, line;
    while (std::getline(in, line)) {
        if (line.find("File Offset in Archive:") != std::string::npos) continue;
        if (drop_time_stamp && line.find("Time Stamp:") != std::string::npos) continue;
        line = std::regex_replace(line, offsets, "$1*");
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

// ---- nmkite listings ----

struct RUN {
    std::string out, err;
    int status = -1;
};

RUN run_nmkite(const std::string& tool, const fs::path& dir, const std::vector<std::string>& args) {
    RUN r;
    const fs::path out = dir / ".out", err = dir / ".err";
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        if (!std::freopen(out.c_str(), "wb", stdout) || !std::freopen(err.c_str(), "wb", stderr)) _exit(127);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out);
    r.err = read_file(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

const std::vector<std::vector<std::string>>& listing_forms() {
    static const std::vector<std::vector<std::string>> forms = {
        {}, {"-p"}, {"-n"}, {"-r"}, {"-g"}, {"-u"}, {"-l"}, {"-D"}, {"-a"}, {"-l", "-a"}, {"-A", "-n", "-a"}};
    return forms;
}

// An archive of the members (name, bytes) in order, with a GNU long-name table when a name needs one.
std::string archive_of(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string names;
    std::vector<std::string> fields;
    for (const auto& [name, bytes] : members) {
        if (name.size() < 16 && name.find('/') == std::string::npos) {
            fields.push_back(name + "/");
        } else {
            fields.push_back("/" + std::to_string(names.size()));
            names += name + "/\n";
        }
    }
    auto header = [](const std::string& field, size_t size) {
        char h[128];
        std::snprintf(h, sizeof h, "%-16s%-12s%-6s%-6s%-8s%-10zu`\n", field.c_str(), "0", "0", "0", "644", size);
        return std::string(h, 60);
    };
    std::string out = "!<arch>\n";
    if (!names.empty()) {
        out += header("//", names.size()) + names;
        if (out.size() % 2) out += '\n';
    }
    for (size_t i = 0; i < members.size(); ++i) {
        out += header(fields[i], members[i].second.size()) + members[i].second;
        if (out.size() % 2) out += '\n';
    }
    return out;
}

// ---- The run ----

struct RESULT {
    std::string name;
    bool object = false;
    bool saved = false;
    bool dump_same = false;
    bool second_same = false;
    std::string difference;
    std::vector<std::string> reports;  // during the save
};

class ROUNDTRIP {
public:
    std::string nmkite;
    fs::path work;
    bool verbose = false;
    std::map<std::string, std::string> expected;  // name -> reason
    std::vector<RESULT> results;
    std::vector<std::string> listing_failures;
    int listing_checks = 0;

    // Round-trips one input file: every member of an archive, or the file.
    void input(const fs::path& path, const std::string& label) {
        const fs::path dir = work / std::to_string(serial_++);
        fs::create_directories(dir / "original");
        fs::create_directories(dir / "saved");
        const std::string base = path.filename().string();
        fs::copy_file(path, dir / "original" / base);
        PFILE* handle = pfopen(path.c_str(), "rb");
        if (!handle) {
            std::cerr << "roundtrip: cannot open " << path << "\n";
            return;
        }
        ar_reader* reader = ar_open(path.c_str(), handle, nullptr);
        if (ar_is_archive(reader)) {
            ar_read_index(reader);
            std::vector<std::pair<std::string, std::string>> saved;
            const std::string whole = read_file(path);
            int n = 0;
            for (const ar_member* m = ar_first_member(reader); m; m = m->next, ++n) {
                SOURCE src{path, m->data_offset, static_cast<uint32_t>(m->size), m->name, label};
                const fs::path out = dir / ("member" + std::to_string(n));
                std::string bytes;
                if (object(src, out)) bytes = read_file(out);
                else bytes = whole.substr(static_cast<size_t>(m->data_offset), static_cast<size_t>(m->size));
                saved.emplace_back(m->name, bytes);
            }
            write_file(dir / "saved" / base, archive_of(saved));
        } else {
            SOURCE src{path, 0, 0, label, ""};
            const fs::path out = dir / "saved" / base;
            if (!object(src, out)) fs::copy_file(path, out, fs::copy_options::overwrite_existing);
        }
        ar_close(reader);
        pfclose(handle);
        if (!nmkite.empty()) listings(dir, base, label);
    }

    int summary() {
        int objects = 0, same = 0, second = 0, failures = 0;
        std::set<std::string> seen;
        for (const RESULT& r : results) {
            if (!r.object) continue;
            ++objects;
            seen.insert(r.name);
            same += r.dump_same;
            second += r.second_same;
            const auto it = expected.find(r.name);
            const bool clean = r.saved && r.dump_same && r.second_same && r.reports.empty();
            if (it != expected.end()) {
                if (clean) {
                    std::cout << "UNEXPECTED SAME " << r.name << " (listed: " << it->second << ")\n";
                    ++failures;
                } else {
                    std::cout << "EXPECTED " << r.name << ": " << it->second << "\n";
                }
            } else if (!clean) {
                ++failures;
            }
            if (!clean || verbose) {
                std::cout << (clean ? "SAME " : "DIFF ") << r.name;
                if (!r.saved) std::cout << " (not saved)";
                if (!r.dump_same) std::cout << " dump " << r.difference;
                if (r.saved && !r.second_same) std::cout << " (second save differs)";
                std::cout << "\n";
                for (const std::string& report : r.reports) std::cout << "    " << report << "\n";
            }
        }
        for (const auto& [name, reason] : expected)
            if (!seen.count(name)) std::cout << "NOT FOUND " << name << " (listed: " << reason << ")\n";
        for (const std::string& f : listing_failures) std::cout << "LISTING " << f << "\n";
        std::cout << objects << " objects: " << same << " read back with the same dump, " << second
                  << " saved again byte for byte; " << listing_checks << " listings compared, "
                  << listing_failures.size() << " differ; " << failures << " unexpected\n";
        return failures == 0 && listing_failures.empty() ? 0 : 1;
    }

private:
    // Saves one object to `out` and checks the read-back; false when the source is not an object (or could
    // not be saved), so the caller keeps its bytes.
    bool object(const SOURCE& src, const fs::path& out) {
        RESULT r;
        r.name = src.display();
        std::vector<std::string> ignored;
        PFILE* handle = nullptr;
        OBJECT_FILE* original = open_object(src, handle, ignored);
        if (!original) {
            pfclose(handle);
            return false;
        }
        r.object = true;
        const std::string before = dump_of(original);
        const bool had_time = before.find("Time Stamp:") != std::string::npos;
        delete original;
        pfclose(handle);

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
            r.dump_same = a == b;
            if (!r.dump_same) r.difference = first_difference(a, b);
        }
        collected = nullptr;
        results.push_back(r);
        return r.saved;
    }

    void listings(const fs::path& dir, const std::string& base, const std::string& label) {
        for (const std::vector<std::string>& form : listing_forms()) {
            std::vector<std::string> args = form;
            args.push_back(base);
            const RUN a = run_nmkite(nmkite, dir / "original", args);
            const RUN b = run_nmkite(nmkite, dir / "saved", args);
            ++listing_checks;
            if (a.out != b.out || a.err != b.err || a.status != b.status) {
                std::string words;
                for (const std::string& w : form) words += " " + w;
                const std::string which = a.out != b.out ? "stdout " + first_difference(a.out, b.out)
                                                         : "stderr " + first_difference(a.err, b.err);
                if (!expected.count(label)) listing_failures.push_back(label + " (nmkite" + words + "): " + which);
            }
        }
    }

    int serial_ = 0;
};

// Every input of the golden cases: fixtures built into `dir`, copies named by their source paths.
std::vector<std::pair<fs::path, std::string>> golden_inputs(const fs::path& cases, const fs::path& source_root,
                                                             const fs::path& dir) {
    std::vector<std::pair<fs::path, std::string>> inputs;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(cases))
        if (e.path().extension() == ".golden") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::istringstream in(read_file(file));
        std::string line, kind, name, body;
        const std::string label = fs::relative(file, cases).replace_extension("").string();
        auto flush = [&] {
            if (kind == "file") {
                const fs::path out = dir / (label + "." + name);
                fs::create_directories(out.parent_path());
                try {
                    fixture::options opts;
                    opts.base_dir = file.parent_path();
                    fixture::write_file(out, fixture::build(body, opts));
                    inputs.emplace_back(out, label + "/" + name);
                } catch (const std::exception&) {
                    // A description the case only uses as a broken input.
                }
            } else if (kind == "copy") {
                std::istringstream b(body);
                std::string path;
                std::getline(b, path);
                if (!path.empty()) inputs.emplace_back(source_root / path, label + "/" + name);
            }
            kind.clear();
            body.clear();
        };
        while (std::getline(in, line)) {
            if (line.rfind("=== ", 0) == 0) {
                flush();
                std::istringstream words(line.substr(4));
                words >> kind >> name;
                continue;
            }
            if (!kind.empty()) body += line + "\n";
        }
        flush();
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    ROUNDTRIP run;
    std::vector<std::pair<fs::path, std::string>> inputs;
    fs::path keep, golden, source_root = fs::current_path();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--nmkite" && i + 1 < argc) {
            run.nmkite = fs::absolute(argv[++i]).string();
        } else if (a == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else if (a == "--golden" && i + 1 < argc) {
            golden = argv[++i];
        } else if (a == "--source" && i + 1 < argc) {
            source_root = argv[++i];
        } else if (a == "--verbose") {
            run.verbose = true;
        } else if (a == "--expect" && i + 1 < argc) {
            std::istringstream list(read_file(argv[++i]));
            for (std::string line; std::getline(list, line);) {
                if (line.empty() || line[0] == '#') continue;
                const size_t colon = line.find(": ");
                run.expected[line.substr(0, colon)] = colon == std::string::npos ? "" : line.substr(colon + 2);
            }
        } else if (a.rfind("--", 0) == 0) {
            std::cerr << "usage: roundtrip [--nmkite PATH] [--expect FILE] [--keep DIR] [--golden DIR [--source ROOT]] "
                         "[--verbose] INPUT...\n";
            return 2;
        } else {
            inputs.emplace_back(a, fs::path(a).filename().string());
        }
    }
    run.work = keep.empty() ? fs::temp_directory_path() / ("roundtrip-" + std::to_string(getpid())) : keep;
    fs::create_directories(run.work);
    if (!golden.empty()) {
        auto more = golden_inputs(golden, source_root, run.work / "golden");
        inputs.insert(inputs.end(), more.begin(), more.end());
    }
    for (const auto& [path, label] : inputs) run.input(path, label);
    const int status = run.summary();
    if (keep.empty()) fs::remove_all(run.work);
    return status;
}
