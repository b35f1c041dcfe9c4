// ofdump: prints the library's "Object File Information" dump, or its XML description, of one object
// file. A test tool: the golden tests compare its output whole.
//
//   ofdump [--xml] [--detailed] [--only CATEGORY,...] [--with CATEGORY]... [--without CATEGORY]... FILE
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ofe/object_file.h"
#include "ofe/of_types.h"
#include "util/pfile.h"

using namespace OFE;

namespace {

// Reports are printed as they come and cleared, so one problem never hides the next.
void print_error(OFE::OBJECT_FILE* object, OFE::OF_ERROR code, const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "ofdump: %s: %s\n", OFE::error_text(code), message);
    object->clear_error();
}

int usage() {
    std::fprintf(stderr, "usage: ofdump [--xml] [--detailed] [--only CATEGORY,...] [--with CATEGORY] [--without CATEGORY] FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool xml = false;
    bool detailed = false;
    std::vector<std::pair<std::string, bool>> selections;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--xml") {
            xml = true;
        } else if (word == "--detailed") {
            detailed = true;
        } else if ((word == "--with" || word == "--without") && i + 1 < argc) {
            selections.emplace_back(argv[++i], word == "--with");
        } else if (word == "--only" && i + 1 < argc) {
            for (const OFE::OF_DUMP_CATEGORY& c : OFE::OBJECT_FILE::dump_categories()) selections.emplace_back(c.name, false);
            const std::string list = argv[++i];
            for (size_t at = 0; at <= list.size();) {
                const size_t end = std::min(list.find(',', at), list.size());
                selections.emplace_back(list.substr(at, end - at), true);
                at = end + 1;
            }
        } else if (!path && word.rfind("--", 0) != 0) {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (!path) return usage();
    PFILE* input = pfopen(path, "rb");
    if (!input) {
        std::fprintf(stderr, "ofdump: cannot open \"%s\"\n", path);
        return 1;
    }
    OFE::OBJECT_FILE* object = OFE::OBJECT_FILE::open(input, 0, path, nullptr);
    if (!object) {
        std::fprintf(stderr, "ofdump: \"%s\" is not an object file\n", path);
        return 1;
    }
    if (object->error_code() != OFE::OF_ERR_NONE) print_error(object, object->error_code(), object->error_message());
    object->set_error_handler(print_error);
    for (const auto& [category, on] : selections)
        if (!object->select_dump_category(category.c_str(), on)) return usage();
    object->set_detailed_dump(detailed);
    if (xml)
        object->write_xml_to_handle(stdout);
    else
        object->dump(stdout);
    delete object;
    return std::fflush(stdout) == 0 ? 0 : 1;
}
