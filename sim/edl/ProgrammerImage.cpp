#include "ProgrammerImage.h"

#include <cstring>

#include "Crc32.h"
#include "SaharaDefs.h"

namespace gf::sim {

namespace {
constexpr char kMagic[8] = {'G', 'F', 'E', 'D', 'L', 'F', 'H', '1'};
constexpr char kName[] = "gangflash simulated firehose";
constexpr uint64_t kBodySize = 96 * 1024;
}  // namespace

std::vector<uint8_t> ProgrammerImage::Build() {
    std::vector<uint8_t> image(kHeaderSize + kBodySize);
    uint8_t* body = image.data() + kHeaderSize;
    // Deterministic filler so the image has realistic, non-trivial content.
    uint32_t x = 0x2545F491u;
    for (uint64_t i = 0; i < kBodySize; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        body[i] = static_cast<uint8_t>(x);
    }
    std::memcpy(body, kName, sizeof kName);
    uint8_t* h = image.data();
    std::memcpy(h, kMagic, sizeof kMagic);
    gf::edl::PutU32(h + 8, 1);
    gf::edl::PutU32(h + 12, kHeaderSize);
    gf::edl::PutU64(h + 16, kBodySize);
    gf::edl::PutU32(h + 24, gf::edl::Crc32(body, kBodySize));
    gf::edl::PutU32(h + 28, gf::edl::Crc32(h, 28));
    std::memcpy(h + 32, kName, sizeof kName);
    return image;
}

bool ProgrammerImage::ParseHeader(const uint8_t* h, uint64_t& bodySize, uint32_t& bodyCrc,
                                  std::string& reason) {
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0) {
        reason = "not a programmer image of this device (bad magic)";
        return false;
    }
    if (gf::edl::GetU32(h + 28) != gf::edl::Crc32(h, 28) || gf::edl::GetU32(h + 8) != 1 ||
        gf::edl::GetU32(h + 12) != kHeaderSize) {
        reason = "corrupt programmer header";
        return false;
    }
    bodySize = gf::edl::GetU64(h + 16);
    bodyCrc = gf::edl::GetU32(h + 24);
    if (bodySize == 0 || bodySize > kMaxBodySize) {
        reason = "programmer body size out of range";
        return false;
    }
    return true;
}

}  // namespace gf::sim
