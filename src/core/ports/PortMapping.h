#pragma once

namespace gf {

class IDeviceTree;

// Answers the USB location queries of a job over the device tree. It keeps no
// state of its own beyond the tree it asks.
class CPortMapping {
public:
    explicit CPortMapping(IDeviceTree* tree = nullptr) : m_pTree(tree) {}
    virtual ~CPortMapping() = default;
    void SetTree(IDeviceTree* tree) { m_pTree = tree; }
    IDeviceTree* Tree() const { return m_pTree; }

private:
    IDeviceTree* m_pTree;
};

}  // namespace gf
