// Build-attribute tags by vendor, and the kinds of their parameters.
#pragma once

#include <cstdint>

namespace OFE {

// Parameter kinds of build-attribute tags.
enum OFBA_PARAM_KIND : uint32_t {
    OFBA_KIND_UNKNOWN = 0,        // the form cannot be told: the attribute cannot be skipped
    OFBA_KIND_STRING = 2,         // an NTBS
    OFBA_KIND_NUMBER = 3,         // a ULEB128
    OFBA_KIND_NUMBER_STRING = 4,  // a ULEB128, then an NTBS
};

namespace TAG {

// Vendor "QX", every target. The producer's version numbers are stored plus 1.
inline constexpr uint32_t QX_RTS_VENDOR = 4;
inline constexpr uint32_t QX_PRODUCER_NAME = 5;
inline constexpr uint32_t QX_EXCEPTIONS = 6;
inline constexpr uint32_t QX_PRODUCER_MAJOR = 8;
inline constexpr uint32_t QX_PRODUCER_MINOR = 10;
inline constexpr uint32_t QX_PRODUCER_PATCH = 12;

// Vendor "QX", Kite targets.
inline constexpr uint32_t QX_KITE_ISA = 256;
inline constexpr uint32_t QX_KITE_MEMORY_MODEL = 258;
inline constexpr uint32_t QX_KITE_AMODE = 260;
inline constexpr uint32_t QX_KITE_VANE = 262;
inline constexpr uint32_t QX_KITE_TALLY = 264;
inline constexpr uint32_t QX_KITE_WISP = 266;
inline constexpr uint32_t QX_KITE_IDIV = 268;
inline constexpr uint32_t QX_KITE_WISP_MIX = 320;

// Vendor "kiteabi".
inline constexpr uint32_t KITEABI_KITE = 4;
inline constexpr uint32_t KITEABI_FPU = 6;
inline constexpr uint32_t KITEABI_WISP = 8;
inline constexpr uint32_t KITEABI_TALLY = 10;
inline constexpr uint32_t KITEABI_VANE = 12;
inline constexpr uint32_t KITEABI_FLOAT_ARGS = 14;
inline constexpr uint32_t KITEABI_DOUBLE_ARGS = 16;
inline constexpr uint32_t KITEABI_IDIV = 18;

}  // namespace TAG

}  // namespace OFE
