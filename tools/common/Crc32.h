#pragma once

#include <cstddef>
#include <cstdint>

namespace gf::edl {

// CRC-32 as used by GPT headers and zip (reflected 0xEDB88320, init and final
// xor 0xFFFFFFFF). Pass the previous result as `crc` to continue a running sum.
uint32_t Crc32(const void* data, std::size_t size, uint32_t crc = 0);

}  // namespace gf::edl
