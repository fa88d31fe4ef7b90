#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DeviceTree.h"

namespace gf {
class IClock;
}

namespace gf::test {

// A device tree stated in a few lines of text, one item per line ('#' starts
// a comment; values with blanks in double quotes; "-" leaves a property out):
//
//   hub  <name> [usb3] [id=<instance id>]     a root hub
//   diag <hub>:<socket> COM<n> [pid=901D] [serial=S] [dev=/dev/ttyUSB0]
//        a Qualcomm composite device with its diagnostic interface (0)
//   qdl  <hub>:<socket> COM<n> [serial=S] [dev=...]
//        a download-mode device (05c6:9008, single function)
//   usb  <hub>:<socket> COM<n> vid=0403 pid=6001 [if=<i>/<count>] [mfr="..."]
//        [product="..."] [serial=S] [dev=...]    any other USB serial port
//   port COM<n> [name="..."] [desc="..."] [hwid=a|b] [loc="..."] [paths=a|b]
//        [id=<instance id>] [parent=<instance id>] [dev=...]
//        a COM port with properties given one by one (unset ones get defaults)
//   node <instance id> [parent=<instance id>]  a plain ancestor
//
// USB items get the same instance ids, names and location paths as the Linux
// backend gives real devices. Devices without dev= get /dev/ttyUSB0, 1, ...
// in the order of the lines.
//
// Example, a composite device at socket 3 and another device's download port
// at socket 4 of the same hub:
//   hub H
//   diag H:3 COM7
//   qdl H:4 COM12
class FixtureDeviceTree : public IDeviceTree {
public:
    FixtureDeviceTree() = default;
    // Throws std::invalid_argument on a line it cannot read.
    explicit FixtureDeviceTree(const std::string& text);
    // Replaces the whole bench.
    void Set(const std::string& text);
    // From `after` on the clock's time since this call, the bench is `text`
    // (stages accumulate; the latest due stage wins).
    void SetAt(IClock& clock, std::chrono::milliseconds after, const std::string& text);
    // From now on the tree cannot be read: TrySnapshot fails with `error`
    // (0: readable again).
    void Fail(int error);

    std::vector<DeviceNode> Snapshot() override;
    bool TrySnapshot(std::vector<DeviceNode>& nodes, int& error) override;
    int SnapshotCount() const;

    // Parses bench text into nodes (throws std::invalid_argument).
    static std::vector<DeviceNode> Parse(const std::string& text);

private:
    struct Stage {
        IClock* clock;
        std::chrono::steady_clock::time_point due;
        std::vector<DeviceNode> nodes;
    };
    const std::vector<DeviceNode>& Current();

    mutable std::mutex m_mutex;
    std::vector<DeviceNode> m_nodes;
    std::vector<Stage> m_stages;
    int m_error = 0;
    int m_snapshots = 0;
};

}  // namespace gf::test
