#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimBench.h"
#include "platform/DeviceTree.h"

namespace gf::sim {

// What a bench process publishes about its bench, so that another process can
// see the devices. A text file of `key=value` lines: a header (owner, generation),
// then one "[device]" section per device and one "[node]" section per device-tree
// node. In a node a missing key is a missing property; hardwareId and
// locationPath lines repeat, in order. The writer replaces the file whole on
// every change and holds an flock on "<file>.lock" for as long as it serves.
struct BenchDescription {
    long ownerPid = 0;
    uint64_t generation = 0;
    std::vector<SimDeviceInfo> devices;
    std::vector<DeviceNode> nodes;
};

std::string FormatBenchDescription(const BenchDescription& description);
bool ParseBenchDescription(const std::string& text, BenchDescription& description,
                           std::string& error);

// Writes through a temporary file and a rename, so a reader sees the old or the
// new text, never a part.
bool WriteBenchDescription(const std::string& path, const BenchDescription& description,
                           std::string& error);

// Takes the owner lock of the description at `path`; returns its fd (kept
// open while serving; closing it or exiting releases it), or -1 with `error`
// when another process holds it.
int TakeDescriptionLock(const std::string& path, std::string& error);
// True while some process holds the owner lock of the description at `path`.
bool IsDescriptionOwned(const std::string& path);

}  // namespace gf::sim
