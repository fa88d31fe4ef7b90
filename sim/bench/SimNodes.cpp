#include "SimNodes.h"

#include <cstdio>

#include "ports/UsbNaming.h"

namespace gf::sim {

namespace {

std::string UsbPath(int bus, int socket) {
    char pci[16];
    std::snprintf(pci, sizeof pci, "PCI(14%02X)", static_cast<unsigned>(bus) & 0xFF);
    return std::string("PCIROOT(0)#") + pci + "#USBROOT(0)#USB(" + std::to_string(socket) + ")";
}

}  // namespace

std::string UsbIdOf(const PortAppearance& port) {
    if (port.mode != SimMode::Diag) return "05c6:9008";
    char buf[16];
    std::snprintf(buf, sizeof buf, "05c6:%04x", port.diagPid);
    return buf;
}

std::string UsbLocationOf(int bus, int socket) {
    return std::to_string(bus) + "-" + std::to_string(socket);
}

std::vector<DeviceNode> SynthesizeNodes(int bus, const std::vector<PortAppearance>& ports) {
    std::vector<DeviceNode> nodes;
    const std::string hubId = RootHubInstanceId("gangflash-sim bus " + std::to_string(bus), true);
    nodes.push_back(MakeHubNode(hubId));
    for (const PortAppearance& p : ports) {
        if (p.mode == SimMode::Absent) continue;
        UsbPortFacts f;
        f.hubInstanceId = hubId;
        f.hubPort = p.socket;
        f.hubNumber = bus;
        f.deviceLocationPath = UsbPath(bus, p.socket);
        f.vid = 0x05C6;
        f.serial = p.serial;
        f.devicePath = p.devicePath;
        f.comNumber = p.comNumber;
        if (p.mode == SimMode::Download) {
            f.pid = 0x9008;
        } else {
            // Diagnostic interface 0 of a composite (diag, modem, network).
            f.pid = p.diagPid;
            f.interfaceCount = 3;
            f.interfaceNumber = 0;
        }
        f.manufacturer = "Qualcomm";
        AppendUsbPortNodes(f, nodes);
    }
    return nodes;
}

}  // namespace gf::sim
