// One full enumeration of a bench of 16 USB serial ports from a sysfs tree
// laid out as a real one (four hubs of four composite devices, each with its
// diagnostic interface): the device tree snapshot, the serial port list built
// on it, and one DIAG-port check. Prints `name: value unit` lines.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SysfsDeviceTree.h"
#include "ports/PortMapping.h"
#include "ports/SerialPorts.h"

namespace fs = std::filesystem;

namespace {

void Attr(const fs::path& dir, const std::string& name, const std::string& value) {
    fs::create_directories(dir);
    std::ofstream(dir / name) << value << "\n";
}

// Root hub usb1 with hubs 1-1..1-4, each with composite devices at sockets 1..4.
void WriteBench(const fs::path& root) {
    const fs::path usb1 = root / "devices/pci0000:00/0000:00:14.0/usb1";
    Attr(usb1, "idVendor", "1d6b");
    Attr(usb1, "busnum", "1");
    Attr(usb1, "speed", "480");
    fs::create_directories(root / "class/tty");
    int tty = 0;
    for (int h = 1; h <= 4; ++h) {
        const std::string hubName = "1-" + std::to_string(h);
        const fs::path hub = usb1 / hubName;
        Attr(hub, "idVendor", "05e3");
        Attr(hub, "idProduct", "0610");
        Attr(hub, "devnum", std::to_string(h + 1));
        for (int p = 1; p <= 4; ++p, ++tty) {
            const std::string devName = hubName + "." + std::to_string(p);
            const fs::path dev = hub / devName;
            Attr(dev, "idVendor", "05c6");
            Attr(dev, "idProduct", "901d");
            Attr(dev, "bcdDevice", "0318");
            Attr(dev, "bNumInterfaces", " 3");
            Attr(dev, "manufacturer", "Qualcomm");
            Attr(dev, "product", "Qualcomm CDMA Technologies MSM");
            const std::string name = "ttyUSB" + std::to_string(tty);
            const fs::path itf = dev / (devName + ":1.0");
            Attr(itf, "bInterfaceNumber", "00");
            Attr(itf / name / "tty" / name, "uevent", "DEVNAME=" + name);
            fs::create_symlink(fs::relative(itf / name / "tty" / name, root / "class/tty"),
                               root / "class/tty" / name);
        }
    }
}

double MedianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("gf-bench-enum-" + std::to_string(::getpid()));
    WriteBench(dir / "sys");
    gf::SysfsDeviceTree tree((dir / "sys").string(), (dir / "comports.db").string());
    gf::CPortMapping mapping(&tree);

    std::vector<gf::SSerInfo> list;
    gf::ListSerialPorts(tree, list);  // first sight: numbers assigned and stored
    if (list.size() != 16) {
        std::fprintf(stderr, "expected 16 ports, got %zu\n", list.size());
        return 1;
    }
    constexpr int kRuns = 200;
    std::vector<double> snapshot, listing, diagCheck;
    for (int i = 0; i < kRuns; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        const auto nodes = tree.Snapshot();
        auto t1 = std::chrono::steady_clock::now();
        gf::ListSerialPorts(tree, list);
        auto t2 = std::chrono::steady_clock::now();
        const bool present = mapping.IsDiagPortPresent("COM16");
        auto t3 = std::chrono::steady_clock::now();
        if (!present || nodes.empty()) return 1;
        snapshot.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        listing.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        diagCheck.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
    }
    std::printf("enumeration_16_ports_snapshot: %.3f ms\n", MedianMs(snapshot));
    std::printf("enumeration_16_ports_list_serial_ports: %.3f ms\n", MedianMs(listing));
    std::printf("enumeration_16_ports_diag_check: %.3f ms\n", MedianMs(diagCheck));
    std::printf("enumeration_16_ports_target: 5 ms\n");
    fs::remove_all(dir);
    return 0;
}
