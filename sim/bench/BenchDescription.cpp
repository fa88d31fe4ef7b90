#include "BenchDescription.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace gf::sim {

namespace {

bool ToNumber(const std::string& text, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

void Line(std::ostringstream& out, const char* key, const std::string& value) {
    out << key << '=' << value << '\n';
}

}  // namespace

std::string FormatBenchDescription(const BenchDescription& d) {
    std::ostringstream out;
    out << "# Simulated bench; replaced whole on every change.\n";
    Line(out, "owner", std::to_string(d.ownerPid));
    Line(out, "generation", std::to_string(d.generation));
    for (const SimDeviceInfo& dev : d.devices) {
        out << "[device]\n";
        Line(out, "number", std::to_string(dev.number));
        Line(out, "mode", ModeName(dev.mode));
        Line(out, "socket", std::to_string(dev.socket));
        Line(out, "com", std::to_string(dev.comNumber));
        Line(out, "path", dev.devicePath);
        Line(out, "serial", dev.serial);
        Line(out, "storage", dev.storagePath);
        Line(out, "storageBytes", std::to_string(dev.storageBytes));
    }
    for (const DeviceNode& n : d.nodes) {
        out << "[node]\n";
        Line(out, "instanceId", n.instanceId);
        Line(out, "parentId", n.parentId);
        Line(out, "comPort", n.isComPort ? "1" : "0");
        if (n.friendlyName) Line(out, "friendlyName", *n.friendlyName);
        if (n.deviceDesc) Line(out, "deviceDesc", *n.deviceDesc);
        for (const auto& id : n.hardwareIds) Line(out, "hardwareId", id);
        if (n.locationInfo) Line(out, "locationInfo", *n.locationInfo);
        for (const auto& p : n.locationPaths) Line(out, "locationPath", p);
        Line(out, "devicePath", n.devicePath);
        Line(out, "com", std::to_string(n.comNumber));
    }
    return out.str();
}

bool ParseBenchDescription(const std::string& text, BenchDescription& result, std::string& error) {
    BenchDescription d;
    enum { Header, InDevice, InNode } where = Header;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line == "[device]") {
            d.devices.emplace_back();
            where = InDevice;
            continue;
        }
        if (line == "[node]") {
            d.nodes.emplace_back();
            where = InNode;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(lineNo) + ": no '='";
            return false;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        long long num = 0;
        const bool isNum = ToNumber(value, num);
        auto needNum = [&]() {
            if (!isNum) error = "line " + std::to_string(lineNo) + ": not a number";
            return isNum;
        };
        if (where == Header) {
            if (key == "owner") {
                if (!needNum()) return false;
                d.ownerPid = static_cast<long>(num);
            } else if (key == "generation") {
                if (!needNum()) return false;
                d.generation = static_cast<uint64_t>(num);
            }
        } else if (where == InDevice) {
            SimDeviceInfo& dev = d.devices.back();
            if (key == "mode") {
                if (!ParseMode(value, dev.mode)) {
                    error = "line " + std::to_string(lineNo) + ": bad mode";
                    return false;
                }
            } else if (key == "path") {
                dev.devicePath = value;
            } else if (key == "serial") {
                dev.serial = value;
            } else if (key == "storage") {
                dev.storagePath = value;
            } else if (key == "number" || key == "socket" || key == "com" ||
                       key == "storageBytes") {
                if (!needNum()) return false;
                if (key == "number") dev.number = static_cast<int>(num);
                if (key == "socket") dev.socket = static_cast<int>(num);
                if (key == "com") dev.comNumber = static_cast<int>(num);
                if (key == "storageBytes") dev.storageBytes = static_cast<uint64_t>(num);
            }
        } else {
            DeviceNode& n = d.nodes.back();
            if (key == "instanceId")
                n.instanceId = value;
            else if (key == "parentId")
                n.parentId = value;
            else if (key == "comPort")
                n.isComPort = value == "1";
            else if (key == "friendlyName")
                n.friendlyName = value;
            else if (key == "deviceDesc")
                n.deviceDesc = value;
            else if (key == "hardwareId")
                n.hardwareIds.push_back(value);
            else if (key == "locationInfo")
                n.locationInfo = value;
            else if (key == "locationPath")
                n.locationPaths.push_back(value);
            else if (key == "devicePath")
                n.devicePath = value;
            else if (key == "com") {
                if (!needNum()) return false;
                n.comNumber = static_cast<int>(num);
            }
        }
    }
    result = std::move(d);
    return true;
}

bool WriteBenchDescription(const std::string& path, const BenchDescription& description,
                           std::string& error) {
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const std::string text = FormatBenchDescription(description);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = tmp + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = tmp + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

int TakeDescriptionLock(const std::string& path, std::string& error) {
    const std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = lockPath + ": " + std::strerror(errno);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = lockPath + ": another bench serves this description";
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsDescriptionOwned(const std::string& path) {
    const std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A shared lock is granted only when no owner holds the exclusive one.
    bool owned = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return owned;
}

}  // namespace gf::sim
