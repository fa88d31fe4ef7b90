#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "DeviceMonitor.h"
#include "SysfsDeviceTree.h"
#include "TempDir.h"
#include "ports/ListPortsReport.h"
#include "ports/PortMapping.h"

using namespace gf;
using namespace gf::test;
namespace fs = std::filesystem;

namespace {

const std::string kFixture = std::string(GF_TEST_SOURCE_DIR) + "/fixtures/sysfs";
const std::string kUsb1 = "/devices/pci0000:00/0000:00:14.0/usb1";

// A writable copy of the sysfs fixture, for tests that re-plug devices.
struct SysfsCopy {
    ScopedTempCwd cwd;
    std::string root = cwd.path() + "/sys";
    std::string db = cwd.path() + "/comports.db";
    SysfsCopy() {
        fs::copy(kFixture, root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    void Write(const std::string& file, const std::string& value) {
        WriteFile(root + kUsb1 + file, value + "\n");
    }
    // The composite device at socket 3 re-enumerates as a download-mode device.
    void SwitchSocket3ToDownloadMode() {
        Write("/1-3/idProduct", "9008");
        Write("/1-3/bNumInterfaces", " 1");
        fs::remove_all(root + kUsb1 + "/1-3/1-3:1.1");
        fs::remove(root + "/class/tty/ttyUSB1");
    }
};

}  // namespace

TEST(SysfsDeviceTree, FixtureListsItsUsbSerialPortsInWindowsForms) {
    ScopedTempCwd cwd;
    SysfsDeviceTree tree(kFixture, cwd.path() + "/comports.db");
    // ttyS0 and tty0 are no USB serial ports; ttyACM0 sorts first; the names
    // end in the COM tag whatever brackets the product name has.
    EXPECT_EQ(
        FormatPortList(tree),
        "COM1\tArduino (www.arduino.cc) Uno R3 ttyACM0 (COM1)\t/dev/ttyACM0\t"
        "USB\\VID_2341&PID_0043&MI_00\\6&43D966F1&0&0000\tUSBROOT(1)#USB(1)#USB(3)#USBMI(0)\n"
        "COM2\tQualcomm HS-USB Diagnostics 901D ttyUSB0 (COM2)\t/dev/ttyUSB0\t"
        "USB\\VID_05C6&PID_901D&MI_00\\6&B345B425&0&0000\t"
        "USB\\ROOT_HUB20\\4&977676F0&0&0\\PORT3\n"
        "COM3\tQualcomm Qualcomm CDMA Technologies MSM ttyUSB1 (COM3)\t/dev/ttyUSB1\t"
        "USB\\VID_05C6&PID_901D&MI_01\\6&B345B425&0&0001\t"
        "USB\\ROOT_HUB20\\4&977676F0&0&0\\PORT3\n"
        "COM4\tQualcomm HS-USB QDLoader 9008 ttyUSB2 (COM4)\t/dev/ttyUSB2\t"
        "USB\\VID_05C6&PID_9008\\5&DEC9739B&0&4\tUSB\\ROOT_HUB20\\4&977676F0&0&0\\PORT4\n"
        "COM5\tQualcomm HS-USB Diagnostics 9091 ttyUSB3 (COM5)\t/dev/ttyUSB3\t"
        "USB\\VID_05C6&PID_9091&MI_00\\6&8EFD2EA8&0&0000\tUSBROOT(1)#USB(1)#USB(2)#USBMI(0)\n");
    // The numbers are kept: a second tree over the same database agrees.
    SysfsDeviceTree again(kFixture, cwd.path() + "/comports.db");
    EXPECT_EQ(FormatPortList(again), FormatPortList(tree));
}

TEST(SysfsDeviceTree, DeviceIsFollowedIntoDownloadModeAndBack) {
    SysfsCopy s;
    SysfsDeviceTree tree(s.root, s.db);
    CPortMapping map(&tree);
    EXPECT_TRUE(map.IsDiagPortPresent("COM2"));
    PhysicalAddress address = {};
    MappingError error = {};
    ASSERT_TRUE(map.GetPhysicalPortAddress(address, error, "(COM2)"));

    s.SwitchSocket3ToDownloadMode();
    EXPECT_FALSE(map.IsDiagPortPresent("COM2"));
    PortText port = {};
    ASSERT_TRUE(map.GetPortAfterPowerCycleByPhysicalAddress(port, error, address));
    EXPECT_STREQ(port, "6)");  // a new mode at the socket: a new number

    // Back in normal mode at the same socket: the old number returns.
    s.Write("/1-3/idProduct", "901d");
    s.Write("/1-3/bNumInterfaces", " 3");
    EXPECT_TRUE(map.IsDiagPortPresent("COM2"));
    // The serial-numbered device behind the external hub switches too: only
    // its location path finds it.
    ASSERT_TRUE(map.GetLocationPath(address, error, "(COM5)"));
    s.Write("/1-1/1-1.2/idProduct", "9008");
    s.Write("/1-1/1-1.2/bNumInterfaces", " 1");
    EXPECT_FALSE(map.GetPortAfterPowerCycleByPhysicalAddress(port, error, address));
    ASSERT_TRUE(map.GetPortAfterPowerCycleByLocationPath(address, error, port));
    EXPECT_STREQ(port, "7)");
    EXPECT_STREQ(error, "");
}

TEST(SysfsDeviceTree, UnreadableRootIsAnErrorNotAnEmptyBench) {
    ScopedTempCwd cwd;
    SysfsDeviceTree tree(cwd.path() + "/missing", cwd.path() + "/comports.db");
    std::vector<DeviceNode> nodes;
    int error = 0;
    EXPECT_FALSE(tree.TrySnapshot(nodes, error));
    EXPECT_EQ(error, ENOENT);
    CPortMapping map(&tree);
    PhysicalAddress address = {};
    MappingError text = {};
    EXPECT_FALSE(map.GetLocationPath(address, text, "(COM1)"));
    EXPECT_STREQ(text, "Error! SetupDiGetClassDevs() return 2");
}

TEST(SysfsDeviceTree, LiveSysfsThroughUdevListsOnlyUsbSerialPorts) {
    ScopedTempCwd cwd;
    SysfsDeviceTree tree("/sys", cwd.path() + "/comports.db");
    std::vector<DeviceNode> nodes;
    int error = 0;
    ASSERT_TRUE(tree.TrySnapshot(nodes, error)) << error;
    // Virtual consoles and platform UARTs never appear (this machine has no
    // USB serial port, so the list is empty here).
    std::istringstream lines(FormatPortList(tree));
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.find("\t/dev/ttyUSB") != std::string::npos ||
                    line.find("\t/dev/ttyACM") != std::string::npos)
            << line;
    }
}

TEST(DeviceMonitor, PollReportsEachChangeOfTheTtyList) {
    ScopedTempCwd cwd;
    const std::string dir = cwd.path() + "/tty";
    fs::create_directories(dir);
    std::mutex m;
    std::condition_variable cv;
    int calls = 0;
    DeviceMonitor monitor(dir, 10);
    monitor.SetListener([&] {
        std::lock_guard lock(m);
        ++calls;
        cv.notify_all();
    });
    auto waitFor = [&](int n) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return calls >= n; });
    };
    WriteFile(dir + "/ttyUSB0", "");
    ASSERT_TRUE(waitFor(1));
    fs::remove(dir + "/ttyUSB0");
    ASSERT_TRUE(waitFor(2));
    monitor.Stop();
}
