#pragma once

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "ComDatabase.h"
#include "platform/DeviceTree.h"

namespace gf {

// The present USB serial ports (ttyUSB*, ttyACM*) of a sysfs tree, shown in the
// Windows forms the port-mapping operations expect (instance ids, friendly
// names, location paths: see ports/UsbNaming.h), each with its persistent COM
// number.
//
// The live tree (/sys) is read through libudev. libudev only reads the real
// /sys (it no longer honours SYSFS_PATH), so any other root, such as a test
// fixture copied from a real machine, is read with plain file reads of the same
// attributes; both readers feed the same mapping.
class SysfsDeviceTree : public IDeviceTree {
public:
    // `comDbPath` empty: ComDatabase::DefaultPath() for /sys, and for any
    // other root a database of its own beside it (suffix: a hash of the root).
    explicit SysfsDeviceTree(std::string sysfsRoot = "/sys", std::string comDbPath = {});

    std::vector<DeviceNode> Snapshot() override;
    // False with an errno value when the tty class cannot be listed at all.
    bool TrySnapshot(std::vector<DeviceNode>& nodes, int& error) override;

    // One USB device of a port's ancestry, as sysfs names it.
    struct UsbDevice {
        std::string sysname;  // "usb1", "1-1.3"
        std::map<std::string, std::string> attrs;
    };
    // One tty with a USB interface among its ancestors.
    struct UsbTty {
        std::string name;     // ttyUSB0
        std::string devNode;  // /dev/ttyUSB0
        int interfaceNumber = 0;
        std::vector<UsbDevice> chain;  // root hub first, the port's own device last
    };

private:
    bool ReadWithUdev(std::vector<UsbTty>& ttys, int& error);
    bool ReadFiles(std::vector<UsbTty>& ttys, int& error);
    int ComNumber(const std::string& location, const std::string& usbId, int interfaceNumber);

    std::string m_root;
    ComDatabase m_db;
    std::mutex m_mutex;  // guards m_numbers
    std::map<std::tuple<std::string, std::string, int>, int> m_numbers;
};

}  // namespace gf
