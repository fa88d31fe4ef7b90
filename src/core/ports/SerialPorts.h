#pragma once

#include <string>
#include <vector>

namespace gf {

class IDeviceTree;

// One serial port as the enumeration lists it.
struct SSerInfo {
    std::string strDevicePath;    // path to open the port with
    std::string strPortName;      // left empty by the interface walk
    std::string strFriendlyName;  // usually ends in "(COMn)"
    bool bIsUsb = false;
    std::string strDeviceDesc;
    std::string strHardwareId;  // first of the hardware id list
};

// Empties `list` and fills it with the COM ports present now, in the order the
// device tree enumerates them. Only the device-interface walk exists here: the
// older walks served Windows releases of major version 4 and below, which this
// station never runs on, and the OS-version query they hinge on cannot fail.
void ListSerialPorts(IDeviceTree& tree, std::vector<SSerInfo>& list);

// Completion of one record: friendly name from the port name, description
// from the friendly name without its " (...)" tail.
void CompleteSerInfo(SSerInfo& info);

}  // namespace gf
