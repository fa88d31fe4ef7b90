#include "ports/UsbNaming.h"

#include <cstdint>
#include <cstdio>

namespace gf {

namespace {

std::string Hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFFu);
    return buf;
}

std::string VidPid(unsigned vid, unsigned pid) {
    return "USB\\VID_" + Hex4(vid) + "&PID_" + Hex4(pid);
}

// A serial number stands in an instance id as one element: characters that
// separate elements or fields there are replaced, so the id keeps its shape.
std::string CleanSerial(const std::string& serial) {
    std::string s = serial;
    for (char& c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '\\' || c == '&' || c == '#' || c == ',') c = '_';
    }
    return s;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsComposite(const UsbPortFacts& f) {
    return f.interfaceCount > 1;
}

}  // namespace

std::string UsbHash(const std::string& key) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : key) h = (h ^ c) * 16777619u;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(h));
    return buf;
}

std::string RootHubInstanceId(const std::string& key, bool superSpeed) {
    return std::string("USB\\ROOT_HUB") + (superSpeed ? "30" : "20") + "\\4&" + UsbHash(key) +
           "&0&0";
}

std::string UsbDeviceInstanceId(unsigned vid, unsigned pid, const std::string& serial,
                                const std::string& hubInstanceId, int hubPort) {
    const std::string tail = serial.empty()
                                 ? "5&" + UsbHash(hubInstanceId) + "&0&" + std::to_string(hubPort)
                                 : CleanSerial(serial);
    return VidPid(vid, pid) + "\\" + tail;
}

std::string UsbPortDescription(const UsbPortFacts& f) {
    if (f.vid == 0x05C6 && f.pid == 0x9008) return "Qualcomm HS-USB QDLoader 9008";
    if (f.vid == 0x05C6 && IsComposite(f) && f.interfaceNumber == 0) {
        return "Qualcomm HS-USB Diagnostics " + Hex4(f.pid);
    }
    std::string d = f.manufacturer;
    if (!f.product.empty()) d += (d.empty() ? "" : " ") + f.product;
    return d.empty() ? "USB Serial Device" : d;
}

std::string UsbPortFriendlyName(const UsbPortFacts& f) {
    std::string name = UsbPortDescription(f);
    const std::string dev = BaseName(f.devicePath);
    if (!dev.empty()) name += " " + dev;
    if (f.comNumber > 0) name += " (COM" + std::to_string(f.comNumber) + ")";
    return name;
}

DeviceNode MakeHubNode(const std::string& instanceId, const std::string& parentId) {
    DeviceNode n;
    n.instanceId = instanceId;
    n.parentId = parentId;
    return n;
}

void AppendUsbPortNodes(const UsbPortFacts& f, std::vector<DeviceNode>& nodes) {
    const std::string deviceId =
        UsbDeviceInstanceId(f.vid, f.pid, f.serial, f.hubInstanceId, f.hubPort);
    DeviceNode port;
    port.isComPort = true;
    port.deviceDesc = UsbPortDescription(f);
    port.friendlyName = UsbPortFriendlyName(f);
    port.locationInfo = "USB Port_#" + std::to_string(10000 + f.hubPort).substr(1) + ".Hub_#" +
                        std::to_string(10000 + f.hubNumber).substr(1);
    port.devicePath = f.devicePath;
    port.comNumber = f.comNumber;
    const std::string rev = "&REV_" + Hex4(f.bcdDevice);
    if (IsComposite(f)) {
        bool known = false;
        for (const DeviceNode& n : nodes) known = known || n.instanceId == deviceId;
        if (!known) nodes.push_back(MakeHubNode(deviceId, f.hubInstanceId));
        char mi[16];
        std::snprintf(mi, sizeof mi, "&MI_%02X", static_cast<unsigned>(f.interfaceNumber) & 0xFF);
        char inst[16];
        std::snprintf(inst, sizeof inst, "&0&%04X",
                      static_cast<unsigned>(f.interfaceNumber) & 0xFFFF);
        port.instanceId = VidPid(f.vid, f.pid) + mi + "\\6&" + UsbHash(deviceId) + inst;
        port.parentId = deviceId;
        port.hardwareIds = {VidPid(f.vid, f.pid) + rev + mi, VidPid(f.vid, f.pid) + mi};
        port.locationPaths = {f.deviceLocationPath + "#USBMI(" + std::to_string(f.interfaceNumber) +
                              ")"};
    } else {
        port.instanceId = deviceId;
        port.parentId = f.hubInstanceId;
        port.hardwareIds = {VidPid(f.vid, f.pid) + rev, VidPid(f.vid, f.pid)};
        port.locationPaths = {f.deviceLocationPath};
    }
    nodes.push_back(std::move(port));
}

}  // namespace gf
