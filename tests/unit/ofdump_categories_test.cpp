// The dump categories as ofdump's users meet them: the words its bash completion offers for --only, the
// long help of --only and its manual page name exactly the library's categories, in the dump's order.
// (That ofdump accepts them and refuses anything else is told by the golden cases.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ofe/object_file.h"

namespace {

std::string read_source(const char* path) {
    std::ifstream in(std::string(NMKITE_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text between `from` and the next `to` after it; empty when `from` is not there.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const size_t begin = start + from.size();
    return text.substr(begin, text.find(to, begin) - begin);
}

std::vector<std::string> library_categories() {
    std::vector<std::string> names;
    for (const OFE::OF_DUMP_CATEGORY& category : OFE::OBJECT_FILE::dump_categories()) names.push_back(category.name);
    return names;
}

// The words of `text` (runs of lower-case letters) that are categories, in the order of their first
// appearance.
std::vector<std::string> categories_named(const std::string& text) {
    const std::vector<std::string> known = library_categories();
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size();) {
        size_t end = i;
        while (end < text.size() && std::islower(static_cast<unsigned char>(text[end]))) ++end;
        const std::string word = text.substr(i, end - i);
        if (std::find(known.begin(), known.end(), word) != known.end() &&
            std::find(found.begin(), found.end(), word) == found.end())
            found.push_back(word);
        i = end == i ? i + 1 : end;
    }
    return found;
}

TEST(OfdumpCategories, CompletionOffersTheLibrarysCategories) {
    const std::string values = between(read_source("options/ofdump_options.def"), "values=\"", "\"");
    std::vector<std::string> offered;
    std::stringstream list(values);
    for (std::string name; std::getline(list, name, ',');) offered.push_back(name);
    EXPECT_EQ(offered, library_categories());
}

TEST(OfdumpCategories, HelpAndManualPageNameEveryCategoryInOrder) {
    const std::string help = between(read_source("options/ofdump_options.def"), "long=\"Dumps only the categories", "\"");
    EXPECT_EQ(categories_named(help), library_categories());

    // On the page each category is the tag of a paragraph of the CATEGORIES section.
    const std::string section = between(read_source("doc/ofdump.1.in"), ".SH CATEGORIES", ".SH ");
    std::string tags;
    for (size_t at = section.find(".TP\n.B "); at != std::string::npos; at = section.find(".TP\n.B ", at + 1))
        tags += section.substr(at + 7, section.find('\n', at + 7) - (at + 7)) + " ";
    EXPECT_EQ(categories_named(tags), library_categories());
}

}  // namespace
