#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ProfileFile.h"
#include "RecordingView.h"
#include "TempDir.h"
#include "VirtualClock.h"
#include "app/GangflashDlg.h"
#include "platform/DeviceTree.h"
#include "platform/Process.h"
#include "platform/Services.h"
#include "util/QueueDispatcher.h"

namespace gf::test {

// COM ports by friendly name only: what the port scan reads.
class FakePorts : public IDeviceTree {
public:
    std::vector<std::string> names;
    std::vector<DeviceNode> Snapshot() override {
        std::vector<DeviceNode> nodes;
        for (const auto& n : names) {
            DeviceNode d;
            d.instanceId = "FAKE\\" + n;
            d.isComPort = true;
            d.friendlyName = n;
            d.deviceDesc = n;
            d.hardwareIds = {"FAKE"};
            nodes.push_back(d);
        }
        return nodes;
    }
};

// Processes by name; kills are recorded.
class FakeProcesses : public IProcessTable {
public:
    std::multiset<std::string> running;
    std::vector<std::string> killed;
    bool KillProcessByName(const std::string& name) override {
        auto it = running.find(name);
        if (it == running.end()) return false;
        running.erase(it);
        killed.push_back(name);
        return true;
    }
    bool IsProcessRunning(const std::string& name) override { return running.count(name) != 0; }
};

// A station in a temporary directory with loader sources present, a virtual
// clock, a recording view and a manually pumped dispatcher. Jobs run a
// procedure that reports working and then waits until they are stopped, or
// the procedure a test installs.
struct StationFixture {
    ScopedTempCwd cwd;
    VirtualClock clock;
    ProfileFile profile;
    RecordingView view;
    QueueDispatcher dispatcher;
    FakePorts ports;
    FakeProcesses processes;
    Services services;
    std::unique_ptr<CGangflashDlg> dlg;
    std::function<void(CDownloadProc&)> procedure;

    explicit StationFixture(const std::string& settings = "");
    ~StationFixture();
    void Settings(const std::string& body);  // writes GangflashConfig.ini
    void SetPackage();                        // gives the controller a package
    // Pumps the dispatcher until `pred` holds (real time, bounded).
    bool PumpUntil(const std::function<bool()>& pred);
    std::string Board(const char* section, int slot);
};

}  // namespace gf::test
