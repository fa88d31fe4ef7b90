#include "SparseImage.h"

#include <fstream>

#include "SaharaDefs.h"

namespace gf::edl {

namespace {
constexpr uint32_t kMagic = 0xED26FF3A;
constexpr uint16_t kRaw = 0xCAC1, kFill = 0xCAC2, kDontCare = 0xCAC3, kCrc = 0xCAC4;

uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
}  // namespace

bool SparseImage::Read(const std::string& path, bool& isSparse, uint64_t& expandedBytes,
                       std::vector<SparseChunk>& chunks, std::string& error) {
    chunks.clear();
    isSparse = false;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot open '" + path + "'";
        return false;
    }
    const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
    in.seekg(0);
    uint8_t h[28] = {};
    if (fileSize < sizeof h || !in.read(reinterpret_cast<char*>(h), sizeof h) ||
        GetU32(h) != kMagic)
        return true;
    isSparse = true;
    const uint16_t major = GetU16(h + 4), fileHeader = GetU16(h + 8), chunkHeader = GetU16(h + 10);
    const uint32_t blockSize = GetU32(h + 12), totalBlocks = GetU32(h + 16),
                   totalChunks = GetU32(h + 20);
    if (major != 1 || fileHeader < 28 || chunkHeader < 12 || blockSize == 0 || blockSize % 4 != 0) {
        error = "unsupported sparse header in '" + path + "'";
        return false;
    }
    uint64_t pos = fileHeader, block = 0;
    for (uint32_t i = 0; i < totalChunks; ++i) {
        uint8_t c[12];
        in.seekg(static_cast<std::streamoff>(pos));
        if (pos + chunkHeader > fileSize || !in.read(reinterpret_cast<char*>(c), sizeof c)) {
            error = "sparse image '" + path + "' is truncated";
            return false;
        }
        const uint16_t type = GetU16(c);
        const uint64_t blocks = GetU32(c + 4), totalSize = GetU32(c + 8);
        const uint64_t dataSize = totalSize < chunkHeader ? 0 : totalSize - chunkHeader;
        SparseChunk chunk;
        chunk.outOffset = block * blockSize;
        chunk.bytes = blocks * blockSize;
        bool ok = totalSize >= chunkHeader && pos + totalSize <= fileSize;
        switch (type) {
            case kRaw:
                chunk.kind = SparseChunk::Kind::Raw;
                chunk.fileOffset = pos + chunkHeader;
                ok = ok && dataSize == chunk.bytes;
                break;
            case kFill: {
                chunk.kind = SparseChunk::Kind::Fill;
                uint8_t f[4] = {};
                in.seekg(static_cast<std::streamoff>(pos + chunkHeader));
                ok = ok && dataSize == 4 && in.read(reinterpret_cast<char*>(f), 4);
                chunk.fill = GetU32(f);
                break;
            }
            case kDontCare:
                chunk.kind = SparseChunk::Kind::DontCare;
                ok = ok && dataSize == 0;
                break;
            case kCrc:
                ok = ok && dataSize == 4 && blocks == 0;
                break;
            default:
                ok = false;
        }
        if (!ok) {
            error = "bad chunk " + std::to_string(i) + " in sparse image '" + path + "'";
            return false;
        }
        if (type != kCrc && blocks > 0) chunks.push_back(chunk);
        block += blocks;
        pos += totalSize;
    }
    if (block != totalBlocks) {
        error = "sparse image '" + path + "' covers " + std::to_string(block) +
                " blocks, header says " + std::to_string(totalBlocks);
        return false;
    }
    expandedBytes = static_cast<uint64_t>(totalBlocks) * blockSize;
    return true;
}

}  // namespace gf::edl
