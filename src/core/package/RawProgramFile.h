#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gf {

// One file entry of a rawprogram file: a direct child element of the root
// whose name begins with 'p' (<program>, <patch>, ...), in document order.
struct RawProgramEntry {
    std::string element;                  // element name, e.g. "program"
    std::optional<std::string> filename;  // the "filename" attribute, when present
    std::string label;                    // the "label" attribute, or empty
    int line = 0;                         // 1-based line of the element; 0 when unknown
};

// The outcome of reading a rawprogram file: the entries, or, when the file
// cannot be read or is not well-formed XML, the reason with its position.
struct RawProgramRead {
    bool ok = false;
    std::string error;
    std::vector<RawProgramEntry> entries;
};

// Loads and parses the file; every other element and every comment or other
// node between the entries is passed over. Never throws.
RawProgramRead ReadRawProgramFile(const std::string& path);

}  // namespace gf
