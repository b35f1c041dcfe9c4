// The object-file dumper: what a run asks for, the run's state, its entry and the dump of one object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options/opt_engine.h"

namespace OFE {
struct PFILE;
class OF_XML_WRITER;
}  // namespace OFE

// What the options ask for, read once they are all parsed.
struct OFDUMP_SETTINGS {
    std::vector<std::string> only;  // the categories that --only names; empty: the default ones
    bool raw_data = false;          // the rawdata category as well
    bool xml = false;               // the XML description instead of the dump
    bool detailed = true;           // the detailed form of the tables that have one
};

// Everything the tool keeps for the whole run.
struct OFDUMP_TOOL {
    int argc = 0;
    char** argv = nullptr;
    int32_t next_index = 1;  // the next command-line word to consume
    OPT_STATE* options = nullptr;
    OFDUMP_SETTINGS settings;
    bool file_headings = false;         // several inputs: each plain file's dump starts with its name
    OFE::OF_XML_WRITER* xml = nullptr;  // the run's one XML document, with --xml
};
OFDUMP_TOOL& ofdump_tool();

// The program: options, then every input file. Returns the exit status: 1 after any error, else 0.
int ofdump_main(int argc, char** argv);

// Dumps, or describes in the run's XML document, the object at the input's current position. `size` is 0
// for a whole file, else the member's size; `archive` names the archive of a member, for messages. The
// library's reports are printed as they come, naming the object. False, with nothing printed, when the
// bytes are no object of a known format.
bool dump_object(const char* name, OFE::PFILE* input, uint32_t size, const char* archive = nullptr);
