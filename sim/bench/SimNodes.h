#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimKnobs.h"
#include "platform/DeviceTree.h"

namespace gf::sim {

// One present port of the bench as the device tree shows it.
struct PortAppearance {
    SimMode mode = SimMode::Download;  // Diag or Download
    int socket = 1;                    // hub port
    std::string serial;                // USB serial number; empty: none
    uint16_t diagPid = 0x9091;
    int comNumber = 0;
    std::string devicePath;  // e.g. /dev/pts/4
};

// Nodes in the Windows forms the Linux backend synthesises from sysfs: the
// bench's root hub; a download-mode device is itself the COM port with the hub
// as parent; a diagnostic port is interface 0 of a composite USB device whose
// parent is the hub. Without a serial number a USB device's instance id ends in
// "&<hub port>"; with one it ends in the serial number. Location paths are
// '#'-separated; an interface adds one element.
std::vector<DeviceNode> SynthesizeNodes(int bus, const std::vector<PortAppearance>& ports);

// USB id ("05c6:9008") and interface number of a port, for the COM database.
std::string UsbIdOf(const PortAppearance& port);
// Location of a socket ("<bus>-<port>", the sysfs form), for the COM database.
std::string UsbLocationOf(int bus, int socket);

}  // namespace gf::sim
