// What the fuzz targets share: a scratch file for the input bytes, and listing one object the way the tool
// does, in every form, with every dump of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace OFE {
struct PFILE;
}  // namespace OFE

namespace fuzz {

// Writes the bytes to this process's scratch file and returns its path.
const std::string& scratch_file(const uint8_t* data, size_t size);

// Lists the object standing at the input's position (`size` 0: the whole file) in the short and long forms
// of both symbol tables, then prints its information dump and XML description, all to a null device.
// Reports are cleared as they come, so no path of the library ends the process.
void exercise_object(OFE::PFILE* input, uint32_t size, const char* name);

}  // namespace fuzz
