#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/StopSignal.h"

namespace gf::sim {

// Fault injection and timing of one simulated download-mode device.
struct EdlKnobs {
    double bytesPerSecond = 0;  // rate at which program data is taken in; 0 = unlimited
    // Percent of a <program>'s data after which the device stops taking data and
    // answering (the first program to reach it); -1 = never.
    int stallAtPercent = -1;
    // Firehose tag the device refuses with NAK and an error log, e.g. "program",
    // "patch", "configure"; empty = none.
    std::string nakCommand;
    // Percent of a <program>'s data after which the device leaves the bus; -1 = never.
    int vanishAtPercent = -1;
};

enum class EdlOutcome {
    Stopped,  // the stop signal was raised
    Reset,    // the host asked for a power reset
    Vanished  // the vanish knob fired mid-transfer
};

struct EdlSession {
    std::string storagePath;  // the eMMC user area (physical partition 0)
    uint64_t storageBytes = 0;
    EdlKnobs knobs;
    std::function<void(const std::string&)> log;  // optional device log, one line per call
};

// Serves one download-mode appearance on the master side of a pseudo-terminal:
// Sahara (accepting only images made by MakeProgrammerImage), then Firehose
// until a power reset, the vanish knob or `stop`. The host may open and close
// the slave any number of times; the protocol state persists across. The
// storage file is created or extended to storageBytes (sparse). Does not close
// masterFd.
EdlOutcome ServeEdl(int masterFd, EdlSession& session, gf::StopSignal& stop);

// Writes a programmer image that ServeEdl accepts.
bool MakeProgrammerImage(const std::string& path, std::string& error);

}  // namespace gf::sim
