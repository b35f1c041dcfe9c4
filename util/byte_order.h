// Byte swapping and the names of byte orders.
#pragma once

#include <cstdint>

namespace OFE {

// Reverse the bytes of a 16- or 32-bit value in place.
void swap16(uint16_t& value);
void swap32(uint32_t& value);
// "little endian" for 1, "big endian" for 2, "unknown endianness" otherwise.
const char* endianness_name(int code);

}  // namespace OFE
