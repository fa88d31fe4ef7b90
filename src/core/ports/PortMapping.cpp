#include "ports/PortMapping.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/DeviceTree.h"
#include "ports/SerialPorts.h"

namespace gf {

namespace {

// Device properties and instance ids are read into 260-byte buffers: a text
// that does not fit with its NUL reads as absent.
constexpr std::size_t kPropertySize = 260;

std::optional<std::string> ReadText(const std::optional<std::string>& property) {
    if (!property || property->size() >= kPropertySize) return std::nullopt;
    return property;
}

// First string of a multi-string property, if the whole list fits the buffer
// (each string's NUL plus the list's final NUL).
std::optional<std::string> ReadFirstOfList(const std::vector<std::string>& list) {
    if (list.empty()) return std::nullopt;
    std::size_t bytes = 1;
    for (const std::string& s : list) bytes += s.size() + 1;
    if (bytes > kPropertySize) return std::nullopt;
    return list.front();
}

bool Contains(const std::optional<std::string>& text, const char* what) {
    return text && text->find(what) != std::string::npos;
}

// Copies `text` with its NUL into `out` when it fits; else leaves `out` alone.
template <std::size_t N>
bool CopyBounded(char (&out)[N], const std::string& text) {
    if (text.size() >= N) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// A snapshot with parent look-up, standing in for one device information set.
class DeviceSet {
public:
    bool Open(IDeviceTree* tree, MappingError& error) {
        int code = 0;
        if (tree == nullptr) {
            code = 6;  // ERROR_INVALID_HANDLE
        } else if (!tree->TrySnapshot(m_nodes, code)) {
            if (code == 0) code = -1;
        }
        if (code != 0) {
            char text[kMappingErrorSize];
            std::snprintf(text, sizeof text, "Error! SetupDiGetClassDevs() return %d", code);
            std::memcpy(error, text, sizeof text);
            return false;
        }
        for (const DeviceNode& n : m_nodes) m_byId.emplace(n.instanceId, &n);
        return true;
    }
    // Present COM-port devices in enumeration order.
    std::vector<const DeviceNode*> Ports() const {
        std::vector<const DeviceNode*> ports;
        for (const DeviceNode& n : m_nodes) {
            if (n.isComPort) ports.push_back(&n);
        }
        return ports;
    }
    // The parent's instance id (CM_Get_Parent + CM_Get_Device_ID); none for
    // a root or an ancestor missing from the tree.
    std::optional<std::string> ParentId(const std::string& id) const {
        const auto it = m_byId.find(id);
        if (it == m_byId.end() || it->second->parentId.empty()) return std::nullopt;
        if (m_byId.find(it->second->parentId) == m_byId.end()) return std::nullopt;
        return it->second->parentId;
    }

private:
    std::vector<DeviceNode> m_nodes;
    std::unordered_map<std::string, const DeviceNode*> m_byId;
};

// "PORT" and the text after the last '&' (the whole text when there is none).
std::string PortPart(const std::string& id) {
    const std::size_t amp = id.rfind('&');
    return "PORT" + (amp == std::string::npos ? id : id.substr(amp + 1));
}

// The friendly name's text after the first "(COM", if any.
std::optional<std::string> TextAfterCom(const std::string& friendlyName) {
    const std::size_t at = friendlyName.find("(COM");
    if (at == std::string::npos) return std::nullopt;
    return friendlyName.substr(at + 4);
}

}  // namespace

bool CPortMapping::IsDiagPortPresent(std::string portName) {
    if (m_pTree == nullptr) return false;
    std::vector<SSerInfo> list;
    ListSerialPorts(*m_pTree, list);
    for (const SSerInfo& info : list) {
        std::string name = info.strFriendlyName;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (name.find("DIAG") == std::string::npos) continue;
        const std::size_t open = name.find("(COM");
        const std::size_t close = name.rfind(')');
        const long a = open == std::string::npos ? -1 : static_cast<long>(open);
        const long b = close == std::string::npos ? -1 : static_cast<long>(close);
        const long length = b - a - 1;
        std::string candidate;
        if (length > 0 && a + 1 < static_cast<long>(name.size())) {
            candidate =
                name.substr(static_cast<std::size_t>(a + 1), static_cast<std::size_t>(length));
        }
        if (candidate == portName) return true;
    }
    return false;
}

bool CPortMapping::GetPhysicalPortAddress(PhysicalAddress& address, MappingError& error,
                                          const char* comTag) {
    DeviceSet set;
    if (!set.Open(m_pTree, error)) return false;
    for (const DeviceNode* port : set.Ports()) {
        if (!Contains(ReadText(port->friendlyName), comTag)) continue;
        const std::optional<std::string> parent = set.ParentId(port->instanceId);
        if (!parent) continue;
        const std::size_t amp = parent->rfind('&');
        const std::size_t bs = parent->rfind('\\');
        const long a = amp == std::string::npos ? -1 : static_cast<long>(amp);
        const long b = bs == std::string::npos ? -1 : static_cast<long>(bs);
        // The USB device's id ends in a serial number: it names no hub port.
        if (a < b) return false;
        const std::string portPart = PortPart(*parent);
        const std::optional<std::string> hub = set.ParentId(*parent);
        if (!hub) continue;
        return CopyBounded(address, *hub + "\\" + portPart);
    }
    return false;
}

bool CPortMapping::GetLocationPath(PhysicalAddress& address, MappingError& error,
                                   const char* comTag) {
    DeviceSet set;
    if (!set.Open(m_pTree, error)) return false;
    for (const DeviceNode* port : set.Ports()) {
        if (!Contains(ReadText(port->friendlyName), comTag)) continue;
        const std::optional<std::string> path = ReadFirstOfList(port->locationPaths);
        if (!path) continue;
        return CopyBounded(address, *path);
    }
    return false;
}

bool CPortMapping::GetPortAfterPowerCycleByPhysicalAddress(PortText& portText, MappingError& error,
                                                           const char* address) {
    DeviceSet set;
    if (!set.Open(m_pTree, error)) return false;
    const std::string wanted = address;
    const std::size_t bs = wanted.rfind('\\');
    const std::string wantedPort = bs == std::string::npos ? wanted : wanted.substr(bs + 1);
    for (const DeviceNode* port : set.Ports()) {
        const std::optional<std::string> name = ReadText(port->friendlyName);
        if (!Contains(name, "QDLoader")) continue;
        if (port->instanceId.size() >= kPropertySize) continue;
        const std::string portPart = PortPart(port->instanceId);
        if (portPart != wantedPort) continue;
        const std::optional<std::string> hub = set.ParentId(port->instanceId);
        if (!hub || *hub + "\\" + portPart != wanted) continue;
        // A download port without a COM tag has no port text: not this one.
        const std::optional<std::string> text = TextAfterCom(*name);
        if (!text) continue;
        return CopyBounded(portText, *text);
    }
    return false;
}

bool CPortMapping::GetPortAfterPowerCycleByLocationPath(const char* address, MappingError& error,
                                                        PortText& portText) {
    DeviceSet set;
    if (!set.Open(m_pTree, error)) return false;
    const std::string path = address;
    const std::size_t hash = path.rfind('#');
    // The USB device's own path: the interface's path without its last element.
    const std::string key = hash == std::string::npos ? std::string() : path.substr(0, hash);
    // A hub-form address has no '#': its empty key matches no device.
    if (key.empty()) return false;
    for (const DeviceNode* port : set.Ports()) {
        const std::optional<std::string> first = ReadFirstOfList(port->locationPaths);
        if (!first || *first != key) continue;
        const std::optional<std::string> name = ReadText(port->friendlyName);
        if (!Contains(name, "QDLoader")) continue;
        const std::optional<std::string> text = TextAfterCom(*name);
        if (!text) continue;
        return CopyBounded(portText, *text);
    }
    return false;
}

}  // namespace gf
