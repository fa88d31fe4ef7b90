#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchDescription.h"
#include "platform/DeviceTree.h"

namespace gf::sim {

// The device tree and device-change source of a bench served by another
// process (gangflash-sim), read from its description file. While no process
// holds the description's owner lock the bench shows no devices, so a killed
// bench process looks like every device unplugged, and a restarted one like
// the devices coming back.
class RemoteBenchTree : public IDeviceTree, public IDeviceChangeSource {
public:
    // `recheckMs`: how often the watcher also checks that the owner still
    // lives (file changes are seen at once through inotify).
    explicit RemoteBenchTree(std::string descriptionPath, int recheckMs = 500);
    ~RemoteBenchTree() override;
    RemoteBenchTree(const RemoteBenchTree&) = delete;
    RemoteBenchTree& operator=(const RemoteBenchTree&) = delete;

    std::vector<DeviceNode> Snapshot() override;
    // Starts the watcher on first use; the listener runs on the watcher's thread
    // once for every change of the published bench or of its owner's life.
    void SetListener(std::function<void()> onChange) override;

    // The published bench; empty devices and nodes when nobody serves it.
    BenchDescription Read();

private:
    void Watch(std::string last);
    std::string Signature();

    std::string m_path;
    int m_recheckMs;
    std::mutex m_mutex;
    std::function<void()> m_listener;
    std::thread m_watcher;
    int m_wakeFd[2] = {-1, -1};
};

}  // namespace gf::sim
