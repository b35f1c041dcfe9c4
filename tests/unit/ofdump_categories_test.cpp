// The dump categories as ofdump's users meet them: the words its bash completion offers for --only, the
// long help of --only and its manual page name exactly the library's categories, in the dump's order.
// (That ofdump accepts them and refuses anything else is told by the golden cases.)
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "ofe/object_file.h"
#include "unit_support.h"

namespace {

// The text of a source file between `from` and the next `to` after it; empty when `from` is not there.
std::string between(const char* path, const std::string& from, const std::string& to) {
    const std::string text = unit::temp_dir::read(std::string(NMKITE_SOURCE_DIR) + "/" + path);
    const size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const size_t begin = start + from.size();
    return text.substr(begin, text.find(to, begin) - begin);
}

// Where `word` next stands whole (not inside a longer lower-case word) in `text` from `from` on, or npos.
size_t find_word(const std::string& text, const std::string& word, size_t from) {
    auto letter = [&](size_t at) { return at < text.size() && std::islower(static_cast<unsigned char>(text[at])); };
    size_t at = text.find(word, from);
    while (at != std::string::npos && ((at > 0 && letter(at - 1)) || letter(at + word.size())))
        at = text.find(word, at + 1);
    return at;
}

TEST(OfdumpCategories, CompletionHelpAndManualPageNameEveryCategoryInOrder) {
    const std::string help = between("options/ofdump_options.def", "long=\"Dumps only the categories", "\"");
    // On the page each category is the tag of a paragraph of the CATEGORIES section.
    const std::string page = between("doc/ofdump.1.in", ".SH CATEGORIES", ".SH ");
    std::string categories;
    size_t in_help = 0, on_page = 0;
    for (const OFE::OF_DUMP_CATEGORY& category : OFE::OBJECT_FILE::dump_categories()) {
        categories += category.name + std::string(",");
        EXPECT_NE(in_help = find_word(help, category.name, in_help), std::string::npos) << category.name;
        EXPECT_NE(on_page = page.find(".TP\n.B " + std::string(category.name) + "\n", on_page), std::string::npos)
            << category.name;
    }
    EXPECT_EQ(between("options/ofdump_options.def", "values=\"", "\"") + ",", categories);
}

}  // namespace
