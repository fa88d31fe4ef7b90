#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/StopSignal.h"

namespace gf::sim {

// Behaviour of a simulated device in diagnostic mode.
struct DiagKnobs {
    std::string spcRefused;  // a code the device refuses; the default code 000000 is accepted
    bool refuseSwitch = false;
    int answerAtPoll = 1;  // status polls before this one go unanswered (device life)
};

enum class DiagOutcome { Stopped, SwitchToEdl };

struct DiagSession {
    // The device's NV items by id (at most 128 bytes each), shared with the
    // rest of the simulated device under `nvMutex`.
    std::map<uint16_t, std::vector<uint8_t>>* nv = nullptr;
    std::mutex* nvMutex = nullptr;
    DiagKnobs knobs;
    std::function<void(const std::string&)> log;  // may be empty
};

// Serves DIAG on the master side of the device's diag pseudo-terminal until
// `stop` is requested (Stopped) or the host switched the device into download
// mode (SwitchToEdl, returned once the host has closed the port or after one
// second). Answers status and version polls, SPC, NV item reads and writes
// (writes need an accepted SPC in the current connection) and the two switch
// commands; anything else gets the bad-command reply. While the host has the
// port closed it waits, checking `stop`.
DiagOutcome ServeDiag(int masterFd, DiagSession& session, gf::StopSignal& stop);

}  // namespace gf::sim
