// The dump categories as ofdump's users meet them: the words its bash completion offers for --only, the
// long help of --only and its manual page name exactly the library's categories, in the dump's order.
// (That ofdump accepts them and refuses anything else is told by the golden cases.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "ofe/object_file.h"

namespace {

// The text of a source file between `from` and the next `to` after it; empty when `from` is not there.
std::string between(const char* path, const std::string& from, const std::string& to) {
    std::ifstream in(std::string(NMKITE_SOURCE_DIR) + "/" + path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const size_t begin = start + from.size();
    return text.substr(begin, text.find(to, begin) - begin);
}

// The library's categories in the dump's order, as ",header,...,".
std::string library_categories() {
    std::string list = ",";
    for (const OFE::OF_DUMP_CATEGORY& category : OFE::OBJECT_FILE::dump_categories())
        list += category.name + std::string(",");
    return list;
}

// The words of `text` (runs of lower-case letters; with a `tag`, only those right after it) that are
// categories, each once, in the order of their first appearance, written as library_categories() writes them.
std::string categories_named(const std::string& text, const std::string& tag = "") {
    std::string found = ",";
    for (size_t at = text.find(tag), next; at != std::string::npos; at = text.find(tag, next)) {
        const size_t begin = at + tag.size();
        size_t end = begin;
        while (end < text.size() && std::islower(static_cast<unsigned char>(text[end]))) ++end;
        const std::string entry = std::string(",").append(text, begin, end - begin).append(",");
        if (end > begin && library_categories().find(entry) != std::string::npos &&
            found.find(entry) == std::string::npos)
            found += entry.substr(1);
        next = std::max(end, at + 1);
    }
    return found;
}

TEST(OfdumpCategories, CompletionHelpAndManualPageNameEveryCategoryInOrder) {
    EXPECT_EQ(std::string(",").append(between("options/ofdump_options.def", "values=\"", "\"")).append(","),
              library_categories());
    const std::string help = between("options/ofdump_options.def", "long=\"Dumps only the categories", "\"");
    EXPECT_EQ(categories_named(help), library_categories());
    // On the page each category is the tag of a paragraph of the CATEGORIES section.
    const std::string section = between("doc/ofdump.1.in", ".SH CATEGORIES", ".SH ");
    EXPECT_EQ(categories_named(section, ".TP\n.B "), library_categories());
}

}  // namespace
