// The file's and the body's numbers: little-endian, assembled from bytes so that neither alignment nor the
// machine's byte order matters.
#pragma once

#include <cstdint>

inline uint32_t LoadLittleEndian32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
