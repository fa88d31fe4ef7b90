#include "ports/SerialPorts.h"

#include "platform/DeviceTree.h"

namespace gf {

namespace {

// Device properties are read into 256-byte buffers: a longer one fails to read.
bool Fits(const std::string& s) {
    return s.size() < 256;
}

// A multi-string property: every string with its NUL, then the final NUL.
bool FitsList(const std::vector<std::string>& list) {
    std::size_t bytes = 1;
    for (const std::string& s : list) bytes += s.size() + 1;
    return !list.empty() && bytes <= 256;
}

}  // namespace

void CompleteSerInfo(SSerInfo& info) {
    if (info.strFriendlyName.empty()) info.strFriendlyName = info.strPortName;
    if (info.strDeviceDesc.empty()) {
        info.strDeviceDesc = info.strFriendlyName;
        const std::size_t open = info.strDeviceDesc.find(" (");
        const std::size_t close = info.strDeviceDesc.find(')');
        if (open != std::string::npos && open > 0 && close != std::string::npos &&
            close == info.strDeviceDesc.size() - 1) {
            info.strDeviceDesc.resize(open);
        }
    }
}

void ListSerialPorts(IDeviceTree& tree, std::vector<SSerInfo>& list) {
    list.clear();
    list.shrink_to_fit();
    // The device-interface walk is the only one: the fixed COM1..COM16 list
    // and the registry walk served Windows releases of major version 4 and
    // below. Nothing here asks for a system version, so the error of a failed
    // version query cannot arise either.
    for (const DeviceNode& node : tree.Snapshot()) {
        if (!node.isComPort) continue;
        const bool listed = node.friendlyName && Fits(*node.friendlyName) && node.deviceDesc &&
                            Fits(*node.deviceDesc) && FitsList(node.hardwareIds);
        if (!listed) continue;
        SSerInfo info;
        info.strDevicePath = node.devicePath;
        info.strFriendlyName = *node.friendlyName;
        info.strDeviceDesc = *node.deviceDesc;
        info.strHardwareId = node.hardwareIds.front();
        info.bIsUsb = node.locationInfo && Fits(*node.locationInfo) &&
                      node.locationInfo->compare(0, 3, "USB") == 0;
        list.push_back(std::move(info));
    }
    for (SSerInfo& info : list) CompleteSerInfo(info);
}

}  // namespace gf
