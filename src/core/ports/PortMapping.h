#pragma once

#include <cstddef>
#include <string>

namespace gf {

class IDeviceTree;

// Sizes of the caller's text buffers.
inline constexpr std::size_t kPhysicalAddressSize = 64;
inline constexpr std::size_t kMappingErrorSize = 64;
inline constexpr std::size_t kPortTextSize = 16;

using PhysicalAddress = char[kPhysicalAddressSize];
using MappingError = char[kMappingErrorSize];
using PortText = char[kPortTextSize];

// Answers the USB location queries of a job over the device tree. It keeps no
// state of its own beyond the tree it asks; every call takes a fresh snapshot,
// so several jobs may call it at once.
//
// A physical port address has one of two forms: the hub form
// "<hub instance id>\PORT<n>", or the first location path of the port (bus
// elements joined by '#'). Each after-switch look-up fails quietly on an
// address of the other form, so callers try one and then the other.
//
// Texts that do not fit the caller's buffer (an address of 64 characters or
// more, a port text of 16 or more) fail the operation and leave the buffer
// untouched. The error text is written only when the tree cannot be read.
class CPortMapping {
public:
    explicit CPortMapping(IDeviceTree* tree = nullptr) : m_pTree(tree) {}
    virtual ~CPortMapping() = default;
    void SetTree(IDeviceTree* tree) { m_pTree = tree; }
    IDeviceTree* Tree() const { return m_pTree; }

    // True when a present port named `portName` (e.g. "COM7", compared
    // exactly) has "DIAG" in its upper-cased friendly name.
    bool IsDiagPortPresent(std::string portName);
    // Hub-form address of the port whose friendly name contains `comTag`
    // ("(COM7)"). Gives up at the first match whose USB device id ends in a
    // serial number rather than a hub port number.
    bool GetPhysicalPortAddress(PhysicalAddress& address, MappingError& error, const char* comTag);
    // Location-path form for the port whose friendly name contains `comTag`.
    bool GetLocationPath(PhysicalAddress& address, MappingError& error, const char* comTag);
    // Port text (the friendly name after its first "(COM", e.g. "12)") of a
    // QDLoader port whose hub-form address equals `address`.
    bool GetPortAfterPowerCycleByPhysicalAddress(PortText& portText, MappingError& error,
                                                 const char* address);
    // Port text of a QDLoader port whose first location path equals `address`
    // without its last element.
    bool GetPortAfterPowerCycleByLocationPath(const char* address, MappingError& error,
                                              PortText& portText);

private:
    IDeviceTree* m_pTree;
};

}  // namespace gf
