#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SimKnobs.h"

namespace gf::sim {

// The lasting state of one simulated device, shared with the protocol servers.
// Lives as long as its bench; the servers may keep references for the length
// of one call.
struct SimDeviceState {
    int number = 0;  // from 1
    DeviceKnobs knobs;
    std::string storagePath;  // the file that stands for the eMMC
    uint64_t storageBytes = 0;
    // NV items: item number -> 128 data bytes. Guarded by nvMutex.
    std::map<uint16_t, std::vector<uint8_t>> nv;
    std::mutex nvMutex;
    // Device-side log lines (may be empty). Called from the device's thread.
    std::function<void(const std::string&)> log;
};

// Writes recognisable NV items for device `number`: ESN (0), SPC (85),
// IMEI (550), MEID (1943) and a few plain items, each 128 bytes.
void SeedNvItems(int number, std::map<uint16_t, std::vector<uint8_t>>& nv);

// The 15-digit IMEI seeded for device `number`.
std::string SeededImei(int number);

}  // namespace gf::sim
