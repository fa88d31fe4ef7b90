#include "ports/ListPortsReport.h"

#include <set>

#include "platform/DeviceTree.h"
#include "ports/PortMapping.h"

namespace gf {

namespace {

// The address under which the after-switch look-ups find a download port:
// its hub and the hub port that ends its own id, else its own location path
// (a DIAG interface's path has one element more).
std::string DownloadPortAddress(const DeviceNode& node, const std::set<std::string>& ids) {
    const std::size_t amp = node.instanceId.rfind('&');
    const std::size_t bs = node.instanceId.rfind('\\');
    if (amp != std::string::npos && (bs == std::string::npos || amp > bs) &&
        ids.count(node.parentId) != 0) {
        return node.parentId + "\\PORT" + node.instanceId.substr(amp + 1);
    }
    return node.locationPaths.empty() ? "-" : node.locationPaths.front();
}

}  // namespace

std::string FormatPortList(IDeviceTree& tree) {
    const std::vector<DeviceNode> nodes = tree.Snapshot();
    std::set<std::string> ids;
    for (const DeviceNode& node : nodes) ids.insert(node.instanceId);
    CPortMapping mapping(&tree);
    std::string out;
    for (const DeviceNode& node : nodes) {
        if (!node.isComPort) continue;
        std::string address = "-";
        if (node.friendlyName && node.friendlyName->find("QDLoader") != std::string::npos) {
            address = DownloadPortAddress(node, ids);
        } else if (node.comNumber > 0) {
            // What a job started on this port would record.
            const std::string tag = "(COM" + std::to_string(node.comNumber) + ")";
            PhysicalAddress buffer = {};
            MappingError error = {};
            if (mapping.GetPhysicalPortAddress(buffer, error, tag.c_str()) ||
                mapping.GetLocationPath(buffer, error, tag.c_str())) {
                address = buffer;
            }
        }
        out += (node.comNumber > 0 ? "COM" + std::to_string(node.comNumber) : "-") + "\t" +
               node.friendlyName.value_or("-") + "\t" +
               (node.devicePath.empty() ? "-" : node.devicePath) + "\t" + node.instanceId + "\t" +
               address + "\n";
    }
    return out;
}

}  // namespace gf
