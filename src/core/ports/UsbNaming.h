#pragma once

#include <string>
#include <vector>

#include "platform/DeviceTree.h"

namespace gf {

// What the device tree knows of one USB serial port, whatever it was read from
// (sysfs, a fixture, a simulated bench).
struct UsbPortFacts {
    std::string hubInstanceId;       // the hub the USB device is plugged into
    int hubPort = 0;                 // socket number on that hub
    int hubNumber = 0;               // shown in the location information only
    std::string deviceLocationPath;  // location path of the USB device itself
    unsigned vid = 0;
    unsigned pid = 0;
    unsigned bcdDevice = 0;
    std::string serial;  // empty: the device has no USB serial number
    std::string manufacturer;
    std::string product;
    int interfaceCount = 1;  // more than one: a composite device
    int interfaceNumber = 0;
    std::string devicePath;  // /dev/ttyUSB3
    int comNumber = 0;       // 0: none could be assigned
};

// Instance ids, names and location texts in the forms that the port-mapping
// operations expect of a Windows device tree:
// - a USB device without serial number: USB\VID_vvvv&PID_pppp\5&<hash>&0&<hub port>,
//   its parent the hub; with a serial number, the serial number ends the id;
// - an interface of a composite device: USB\VID_vvvv&PID_pppp&MI_ii\6&<hash>&0&00ii,
//   its parent the USB device; a single-function device is itself the port;
// - location paths: `#`-separated bus elements, an interface adding USBMI(i).
std::string UsbHash(const std::string& key);  // 8 upper-case hex digits, stable
std::string RootHubInstanceId(const std::string& key, bool superSpeed);
std::string UsbDeviceInstanceId(unsigned vid, unsigned pid, const std::string& serial,
                                const std::string& hubInstanceId, int hubPort);
// The device description of a port: the role the Windows drivers give it.
std::string UsbPortDescription(const UsbPortFacts& facts);
// Description, Linux device name, then the "(COMn)" tag that ends the name.
std::string UsbPortFriendlyName(const UsbPortFacts& facts);

// A hub (or other plain ancestor) node.
DeviceNode MakeHubNode(const std::string& instanceId, const std::string& parentId = {});
// Appends the port's nodes: the composite USB device (once, however many of
// its interfaces are ports) and the COM-port node itself.
void AppendUsbPortNodes(const UsbPortFacts& facts, std::vector<DeviceNode>& nodes);

}  // namespace gf
