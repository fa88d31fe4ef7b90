#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gf::edl {

// What a sector expression may refer to. Only the device knows the size of a
// physical partition, so a host fills numDiskSectors from the device's storage
// information and leaves crc32 empty; the device fills both.
struct SectorExprContext {
    bool hasDiskSectors = false;
    uint64_t numDiskSectors = 0;
    // CRC-32 of `bytes` bytes starting at sector `startSector`; false with
    // `error` set when the range cannot be read.
    std::function<bool(uint64_t startSector, uint64_t bytes, uint32_t& crc, std::string& error)>
        crc32;
};

// Evaluates a start_sector or patch value of the rawprogram/patch formats:
// decimal literals (a trailing '.' marks decimal and is allowed), 0x-prefixed
// hex literals, NUM_DISK_SECTORS, + - * /, parentheses and CRC32(sector, bytes).
// A negative or overflowing result, division by zero, an unknown name or
// trailing text is an error.
bool EvaluateSectorExpr(const std::string& text, const SectorExprContext& context, uint64_t& value,
                        std::string& error);

// True when the expression mentions NUM_DISK_SECTORS (so it needs the device's size).
bool ExprNeedsDiskSize(const std::string& text);

}  // namespace gf::edl
