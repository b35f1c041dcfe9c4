// Dumping one object: open it through the object-file library, choose the categories, print the dump or
// the XML description, and report what the library finds on the way.
#include <cstdio>
#include <string>

#include "DIAG/user_msg_api.h"
#include "ofe/object_file.h"
#include "ofe/of_xml_writer.h"
#include "tools/ofdump/ofdump_tool.h"

using namespace OFE;

namespace {

// Every report of the library is printed as it comes, naming the object first, and cleared, so that one
// problem never hides the next and the dump goes on with what can be read. Warnings stay warnings.
void report(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    std::fflush(stdout);  // what was dumped before the problem comes before it on a shared terminal
    const std::string name = object->display_name();
    std::string text = message ? message : "";
    // Some messages start with the object's name themselves; it is said once.
    if (text.compare(0, name.size() + 2, name + ": ") == 0) text.erase(0, name.size() + 2);
    // A plain warning says "warning" in its severity already.
    std::string kind = code == OF_ERR_WARNING ? "" : error_text(code);
    if (!kind.empty() && !text.empty()) kind += ": ";
    const bool warning = code == OF_ERR_WARNING || code == OF_ERR_VALUE_TRUNCATED || code == OF_ERR_DEVELOPMENT;
    if (warning)
        user_msg_warning(DIAG::user_msg_context(), "%s: %s%s", name.c_str(), kind.c_str(), text.c_str());
    else
        user_msg_error(DIAG::user_msg_context(), "%s: %s%s", name.c_str(), kind.c_str(), text.c_str());
    object->clear_error();
}

void select_categories(OBJECT_FILE* object, const OFDUMP_SETTINGS& settings) {
    if (!settings.only.empty())
        for (const OF_DUMP_CATEGORY& category : OBJECT_FILE::dump_categories())
            (void)object->select_dump_category(category.name, false);
    for (const std::string& name : settings.only) (void)object->select_dump_category(name.c_str(), true);
    if (settings.raw_data) (void)object->select_dump_category("rawdata", true);
    object->set_detailed_dump(settings.detailed);
}

}  // namespace

bool dump_object(const char* name, PFILE* input, uint32_t size, const char* archive) {
    OBJECT_FILE* object = OBJECT_FILE::open(input, size, name, report, archive);
    if (!object) return false;
    OFDUMP_TOOL& tool = ofdump_tool();
    if (tool.xml) {
        object->write_xml(*tool.xml);
    } else {
        select_categories(object, tool.settings);
        object->dump(stdout);
    }
    delete object;
    return true;
}
