#include "SysfsDeviceTree.h"

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "ports/UsbNaming.h"

namespace gf {

namespace fs = std::filesystem;

namespace {

// The USB device attributes the mapping reads.
const char* const kUsbAttrs[] = {"idVendor",     "idProduct", "bcdDevice",      "serial",
                                 "manufacturer", "product",   "bNumInterfaces", "busnum",
                                 "devnum",       "speed"};

bool IsUsbSerialName(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

std::string Trim(std::string s) {
    const std::size_t end = s.find_last_not_of(" \t\r\n");
    s.erase(end == std::string::npos ? 0 : end + 1);
    const std::size_t start = s.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : s.substr(start);
}

unsigned HexAttr(const SysfsDeviceTree::UsbDevice& d, const char* key) {
    const auto it = d.attrs.find(key);
    return it == d.attrs.end()
               ? 0u
               : static_cast<unsigned>(std::strtoul(it->second.c_str(), nullptr, 16));
}

int IntAttr(const SysfsDeviceTree::UsbDevice& d, const char* key, int def) {
    const auto it = d.attrs.find(key);
    return it == d.attrs.end() || it->second.empty() ? def : std::atoi(it->second.c_str());
}

std::string Attr(const SysfsDeviceTree::UsbDevice& d, const char* key) {
    const auto it = d.attrs.find(key);
    return it == d.attrs.end() ? std::string() : it->second;
}

// Socket number of a USB device on its hub: the last number of "1-1.3".
int HubPortOf(const std::string& sysname) {
    const std::size_t sep = sysname.find_last_of("-.");
    return sep == std::string::npos ? 0 : std::atoi(sysname.c_str() + sep + 1);
}

// ttyUSB2 before ttyUSB10: names compared with their numbers as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
    const std::size_t da = a.find_first_of("0123456789");
    const std::size_t db = b.find_first_of("0123456789");
    const std::string pa = a.substr(0, da), pb = b.substr(0, db);
    if (pa != pb) return pa < pb;
    const long na = da == std::string::npos ? -1 : std::atol(a.c_str() + da);
    const long nb = db == std::string::npos ? -1 : std::atol(b.c_str() + db);
    return na != nb ? na < nb : a < b;
}

// One attribute file, trimmed; false when it does not exist.
bool ReadAttrFile(const std::string& path, std::string& value) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[512];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    value = Trim(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
    return true;
}

// The device node named in a uevent file ("DEVNAME=ttyUSB0").
std::string DevNameOf(const std::string& dir) {
    std::string text;
    if (!ReadAttrFile(dir + "/uevent", text)) return {};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("DEVNAME=", 0) == 0) return Trim(line.substr(8));
    }
    return {};
}

}  // namespace

namespace {

std::string CleanRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root.empty() ? "/sys" : root;
}

// The live tree keeps its numbers in the user's database; another tree (a
// copied sysfs) gets a database of its own beside it, so its devices never
// take numbers from real ones.
std::string DatabaseFor(const std::string& root, std::string given) {
    if (!given.empty()) return given;
    if (root == "/sys") return ComDatabase::DefaultPath();
    std::error_code ec;
    const fs::path absolute = fs::absolute(root, ec);
    return ComDatabase::DefaultPath() + "." + UsbHash(ec ? root : absolute.string());
}

}  // namespace

SysfsDeviceTree::SysfsDeviceTree(std::string sysfsRoot, std::string comDbPath)
    : m_root(CleanRoot(std::move(sysfsRoot))), m_db(DatabaseFor(m_root, std::move(comDbPath))) {}

std::vector<DeviceNode> SysfsDeviceTree::Snapshot() {
    std::vector<DeviceNode> nodes;
    int error = 0;
    TrySnapshot(nodes, error);
    return nodes;
}

bool SysfsDeviceTree::ReadWithUdev(std::vector<UsbTty>& ttys, int& error) {
    udev* u = udev_new();
    if (u == nullptr) {
        error = errno != 0 ? errno : ENOMEM;
        return false;
    }
    udev_enumerate* e = udev_enumerate_new(u);
    bool ok = e != nullptr && udev_enumerate_add_match_subsystem(e, "tty") >= 0 &&
              udev_enumerate_scan_devices(e) >= 0;
    if (!ok) error = errno != 0 ? errno : EIO;
    udev_list_entry* entry = ok ? udev_enumerate_get_list_entry(e) : nullptr;
    for (; entry != nullptr; entry = udev_list_entry_get_next(entry)) {
        udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (dev == nullptr) continue;  // gone meanwhile
        const char* sysname = udev_device_get_sysname(dev);
        udev_device* itf =
            udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_interface");
        if (sysname != nullptr && IsUsbSerialName(sysname) && itf != nullptr) {
            UsbTty tty;
            tty.name = sysname;
            const char* node = udev_device_get_devnode(dev);
            tty.devNode = node != nullptr ? node : "/dev/" + tty.name;
            const char* number = udev_device_get_sysattr_value(itf, "bInterfaceNumber");
            tty.interfaceNumber = number ? static_cast<int>(std::strtol(number, nullptr, 16)) : 0;
            for (udev_device* p = udev_device_get_parent(itf); p != nullptr;
                 p = udev_device_get_parent(p)) {
                const char* sub = udev_device_get_subsystem(p);
                const char* type = udev_device_get_devtype(p);
                if (!sub || !type || std::string(sub) != "usb" || std::string(type) != "usb_device")
                    continue;
                UsbDevice d;
                d.sysname = udev_device_get_sysname(p);
                for (const char* key : kUsbAttrs) {
                    if (const char* v = udev_device_get_sysattr_value(p, key))
                        d.attrs[key] = Trim(v);
                }
                tty.chain.insert(tty.chain.begin(), std::move(d));
            }
            if (!tty.chain.empty()) ttys.push_back(std::move(tty));
        }
        udev_device_unref(dev);
    }
    if (e != nullptr) udev_enumerate_unref(e);
    udev_unref(u);
    return ok;
}

bool SysfsDeviceTree::ReadFiles(std::vector<UsbTty>& ttys, int& error) {
    std::error_code ec;
    const fs::path root = fs::canonical(m_root, ec);
    if (ec) {
        error = ec.value();
        return false;
    }
    const fs::path classDir = root / "class" / "tty";
    fs::directory_iterator it(classDir, ec);
    if (ec) {
        error = ec.value();
        return false;
    }
    // USB devices read so far: ports of one device or hub share their ancestors.
    std::map<std::string, UsbDevice> devices;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        if (!IsUsbSerialName(name)) continue;
        // Class entries are relative links into devices/, whose directories
        // are real: resolving the link text is enough.
        std::error_code linkError;
        const fs::path target = fs::read_symlink(entry.path(), linkError);
        if (linkError) continue;
        const fs::path dir = target.is_absolute() ? target : (classDir / target).lexically_normal();
        UsbTty tty;
        tty.name = name;
        const std::string devName = DevNameOf(dir.string());
        tty.devNode = "/dev/" + (devName.empty() ? name : devName);
        bool inInterface = false;
        std::string value;
        for (fs::path p = dir.parent_path(); p != root && p.has_relative_path();
             p = p.parent_path()) {
            const std::string path = p.string();
            if (!inInterface) {
                if (ReadAttrFile(path + "/bInterfaceNumber", value)) {
                    inInterface = true;
                    tty.interfaceNumber = static_cast<int>(std::strtol(value.c_str(), nullptr, 16));
                }
                continue;
            }
            auto known = devices.find(path);
            if (known == devices.end()) {
                UsbDevice d;
                if (ReadAttrFile(path + "/idVendor", value)) {
                    d.sysname = p.filename().string();
                    d.attrs["idVendor"] = value;
                    for (const char* key : kUsbAttrs) {
                        if (ReadAttrFile(path + "/" + key, value)) d.attrs[key] = value;
                    }
                }
                known = devices.emplace(path, std::move(d)).first;
            }
            if (!known->second.sysname.empty()) tty.chain.insert(tty.chain.begin(), known->second);
        }
        if (!tty.chain.empty()) ttys.push_back(std::move(tty));
    }
    return true;
}

int SysfsDeviceTree::ComNumber(const std::string& location, const std::string& usbId,
                               int interfaceNumber) {
    // A key's number never changes once given, so it is asked of the file once.
    std::lock_guard lock(m_mutex);
    const auto key = std::make_tuple(location, usbId, interfaceNumber);
    const auto it = m_numbers.find(key);
    if (it != m_numbers.end()) return it->second;
    const int number = m_db.Assign(location, usbId, interfaceNumber);
    if (number > 0) m_numbers.emplace(key, number);
    return number;
}

bool SysfsDeviceTree::TrySnapshot(std::vector<DeviceNode>& nodes, int& error) {
    nodes.clear();
    error = 0;
    std::vector<UsbTty> ttys;
    const bool ok = m_root == "/sys" ? ReadWithUdev(ttys, error) : ReadFiles(ttys, error);
    if (!ok) return false;
    std::sort(ttys.begin(), ttys.end(),
              [](const UsbTty& a, const UsbTty& b) { return NaturalLess(a.name, b.name); });

    std::set<std::string> known;
    for (const UsbTty& tty : ttys) {
        // Hubs and other ancestors: ids and location paths from the root down.
        std::string parentId, path;
        int parentDevnum = 0;
        for (std::size_t i = 0; i + 1 < tty.chain.size(); ++i) {
            const UsbDevice& d = tty.chain[i];
            std::string id;
            if (i == 0) {
                id = RootHubInstanceId(d.sysname, IntAttr(d, "speed", 0) >= 5000);
                path = "USBROOT(" + std::to_string(IntAttr(d, "busnum", 0)) + ")";
            } else {
                id = UsbDeviceInstanceId(HexAttr(d, "idVendor"), HexAttr(d, "idProduct"),
                                         Attr(d, "serial"), parentId, HubPortOf(d.sysname));
                path += "#USB(" + std::to_string(HubPortOf(d.sysname)) + ")";
            }
            if (known.insert(id).second) nodes.push_back(MakeHubNode(id, parentId));
            parentId = id;
            parentDevnum = IntAttr(d, "devnum", 0);
        }
        const UsbDevice& d = tty.chain.back();
        if (tty.chain.size() < 2) continue;  // a root hub has no serial ports
        UsbPortFacts f;
        f.hubInstanceId = parentId;
        f.hubPort = HubPortOf(d.sysname);
        f.hubNumber = parentDevnum;
        f.deviceLocationPath = path + "#USB(" + std::to_string(f.hubPort) + ")";
        f.vid = HexAttr(d, "idVendor");
        f.pid = HexAttr(d, "idProduct");
        f.bcdDevice = HexAttr(d, "bcdDevice");
        f.serial = Attr(d, "serial");
        f.manufacturer = Attr(d, "manufacturer");
        f.product = Attr(d, "product");
        f.interfaceCount = IntAttr(d, "bNumInterfaces", 1);
        f.interfaceNumber = tty.interfaceNumber;
        f.devicePath = tty.devNode;
        f.comNumber = ComNumber(d.sysname, Attr(d, "idVendor") + ":" + Attr(d, "idProduct"),
                                tty.interfaceNumber);
        AppendUsbPortNodes(f, nodes);
    }
    return true;
}

}  // namespace gf
