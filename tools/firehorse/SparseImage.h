#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf::edl {

// One stretch of an Android sparse image, in bytes of the expanded image.
struct SparseChunk {
    enum class Kind { Raw, Fill, DontCare };
    Kind kind = Kind::Raw;
    uint64_t outOffset = 0;  // where the stretch starts in the expanded image
    uint64_t bytes = 0;
    uint64_t fileOffset = 0;  // Raw: where its data starts in the sparse file
    uint32_t fill = 0;        // Fill: the 4-byte pattern, little-endian
};

// Reads the chunk table of an Android sparse image (magic 0xED26FF3A).
class SparseImage {
public:
    // `isSparse` false (and true returned) when the file has no sparse header.
    // False with `error` when the header or the chunk table is inconsistent.
    static bool Read(const std::string& path, bool& isSparse, uint64_t& expandedBytes,
                     std::vector<SparseChunk>& chunks, std::string& error);
};

}  // namespace gf::edl
