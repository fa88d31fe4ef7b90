#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf::sim {

// The programmer image format the simulated device accepts: a 64-byte header
// followed by a body.
//   0  magic "GFEDLFH1"          8 bytes
//   8  format version (1)        u32
//  12  header size (64)          u32
//  16  body size                 u64
//  24  CRC-32 of the body        u32
//  28  CRC-32 of bytes 0..27     u32
//  32  programmer name, NUL-padded, 32 bytes
// The device reads the header first and refuses anything else, then the body,
// whose CRC must match.
class ProgrammerImage {
public:
    static constexpr uint32_t kHeaderSize = 64;
    static constexpr uint64_t kMaxBodySize = 16ull << 20;

    // Builds a complete image (header and body).
    static std::vector<uint8_t> Build();
    // Checks a header; returns false with a reason when it is not ours.
    static bool ParseHeader(const uint8_t* header, uint64_t& bodySize, uint32_t& bodyCrc,
                            std::string& reason);
};

}  // namespace gf::sim
