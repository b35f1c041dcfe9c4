// Byte swapping and the names of byte orders.
#include "util/byte_order.h"

namespace OFE {

void swap16(uint16_t& value) { value = static_cast<uint16_t>((value >> 8) | (value << 8)); }

void swap32(uint32_t& value) {
    value = (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

const char* endianness_name(int code) {
    switch (code) {
    case 1: return "little endian";
    case 2: return "big endian";
    default: return "unknown endianness";
    }
}

}  // namespace OFE
