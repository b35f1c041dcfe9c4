// The name utility's process-wide state, its entry and the listing of one object.
#pragma once

#include <cstdint>

#include "options/opt_engine.h"

namespace OFE {
struct PFILE;
struct ar_reader;
}  // namespace OFE
struct NM_LISTING;

// Everything the tool keeps for the whole run.
struct NM_TOOL {
    int argc = 0;
    char** argv = nullptr;
    int32_t next_index = 1;     // the next command-line word to consume
    OPT_STATE* options = nullptr;
    const char* tool_name = "<toolname>";
    OFE::PFILE* output = nullptr;
};
NM_TOOL& nm_tool();

// The program: options, output, then every input file. Returns the exit status.
int nm_main(int argc, char** argv);

// Lists one open input file, standing at its start: an archive member by member, after its heading, else
// one object. `name` names it in the listing and the messages.
void list_input(const char* name, OFE::PFILE* input, NM_LISTING& listing);

// Lists one object file or archive member standing at the input's current position.
// `size` is 0 for a whole file, else the member's size; `archive` names the archive of a member, for messages.
void list_object(const char* name, OFE::PFILE* input, uint32_t size, NM_LISTING& listing,
                 const char* archive = nullptr);

// The archive reader's error hook: every problem is reported as an error.
void nm_archive_error(OFE::ar_reader* reader, int level, const char* message);
