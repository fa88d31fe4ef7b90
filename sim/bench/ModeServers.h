#pragma once

#include <functional>

#include "SimDeviceState.h"

namespace gf {
class StopSignal;
}

namespace gf::sim {

// How a protocol server's run over one appearance of a device ended.
enum class SimOutcome {
    Stopped,           // the bench asked it to stop (shutdown or re-enumeration)
    Reset,             // power reset: the device re-enumerates
    Vanished,          // the device left the bus
    SwitchToDownload,  // diagnostic mode switched the device to download mode
};

// The device side of each mode, plugged in by the wiring code. A server runs on
// the device's own thread, owns the pseudo-terminal's master side for the call
// (it must not close it) and returns soon after `stop` is requested. A mode
// without a server leaves its device silent.
struct ModeServers {
    using Server =
        std::function<SimOutcome(int masterFd, SimDeviceState& device, StopSignal& stop)>;
    Server download;
    Server diag;
};

}  // namespace gf::sim
