#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gf {

// One node of the device tree: a present COM-port device or one of its
// ancestors (USB device, hub). Properties that a device lacks are empty
// optionals, as a failed SetupDiGetDeviceRegistryProperty read.
struct DeviceNode {
    std::string instanceId;  // Windows form, e.g. USB\VID_05C6&PID_9008\5&2A3B&0&3
    std::string parentId;    // empty for a root
    bool isComPort = false;
    // COM-port properties.
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDesc;
    std::vector<std::string> hardwareIds;  // empty: property absent
    std::optional<std::string> locationInfo;
    std::vector<std::string> locationPaths;  // empty: property absent
    std::string devicePath;                  // device node, e.g. /dev/ttyUSB3
    int comNumber = 0;
};

// The present devices, as SetupDi and the configuration manager show them.
// Thread-safe: any thread may take a snapshot.
class IDeviceTree {
public:
    virtual ~IDeviceTree() = default;
    // All present COM-port devices and their ancestors, COM ports in
    // enumeration order.
    virtual std::vector<DeviceNode> Snapshot() = 0;
    // As Snapshot, but tells a tree that cannot be read (false, `error` an
    // errno-style code) from an empty one. Trees that cannot fail keep this.
    virtual bool TrySnapshot(std::vector<DeviceNode>& nodes, int& error) {
        nodes = Snapshot();
        error = 0;
        return true;
    }
};

// Device arrival and removal (WM_DEVICECHANGE). The callback may run on any
// thread; receivers post it to the UI thread.
class IDeviceChangeSource {
public:
    virtual ~IDeviceChangeSource() = default;
    virtual void SetListener(std::function<void()> onChange) = 0;
};

}  // namespace gf
