#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf::qmsl {

// One NV item as the device gave it: its id and the 128-byte data field.
struct NvItem {
    uint16_t id = 0;
    std::vector<uint8_t> data;
};

// Our QCN file: a text file, one record per line, "\n" line ends.
//
//   GANGFLASH-QCN 1            format name and version
//   multisim <0|1>             the target's multi-SIM flag at backup time
//   item <id> <hex>            one per NV item: decimal id, 256 lowercase hex
//                              digits (the 128-byte data field)
//   end <count>                number of item lines; guards against truncation
//
// Items appear in ascending id order, each id once. Nothing may follow "end".
struct QcnFile {
    bool multiSim = false;
    std::vector<NvItem> items;

    // Writes to a temporary file beside `path`, then renames it into place,
    // so a failed backup never leaves a half-written file under the name.
    bool Save(const std::string& path, std::string& error) const;
    // False with `error` when the file is missing or not in this format.
    bool Load(const std::string& path, std::string& error);
};

}  // namespace gf::qmsl
