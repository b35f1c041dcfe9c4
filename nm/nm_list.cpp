// Listing one object: open it through the object-file library, report what reading left pending,
// and print its symbols.
#include <cstdlib>
#include <memory>

#include "DIAG/user_msg_api.h"
#include "nm/nm_listing.h"
#include "nm/nm_tool.h"
#include "ofe/object_file.h"

using namespace OFE;

namespace {

// Every error the library reports while listing is printed, counted and cleared; the listing goes on.
void error_handler(OBJECT_FILE* object, OF_ERROR code, const char* message) {
    if (message && *message) {
        if (code != OFE::OF_ERR_DEVELOPMENT)
            user_msg_error(DIAG::user_msg_context(), "%s: %s", OFE::error_text(code), message);
    } else {
        user_msg_error(DIAG::user_msg_context(), "%s: %s", OFE::error_text(OFE::OF_ERR_INTERNAL),
                       "no description available");
    }
    object->clear_error();
}

}  // namespace

void list_object(const char* name, PFILE* input, uint32_t size, PFILE* output, const char* archive) {
    // Owned here, so that it is also released when an exit hook ends the run by unwinding (diag_exit).
    std::unique_ptr<OBJECT_FILE> object(OBJECT_FILE::open(input, size, name, nullptr, archive));
    if (!object) return;
    if (object->error_code() != OFE::OF_ERR_NONE) {
        const char* message = object->error_message();
        user_msg_error(DIAG::user_msg_context(), "%s%s%s", OFE::error_text(object->error_code()), *message ? ": " : "",
                       message);
        object.reset();
        DIAG::diag_exit(1);
    }
    object->set_error_handler(error_handler);
    dump_symbols(object.get(), output, name);
}
