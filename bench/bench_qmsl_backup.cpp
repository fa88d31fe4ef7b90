// NV backup and restore through libqmsl against simulated diagnostic devices
// on pseudo-terminals: one device alone, then eight at once (one thread each).
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "DiagDevice.h"
#include "diag/QmslLoader.h"
#include "platform/DeviceTree.h"

using namespace gf;
using Clock = std::chrono::steady_clock;

namespace {

class Tree : public IDeviceTree {
public:
    std::vector<DeviceNode> Snapshot() override { return nodes; }
    std::vector<DeviceNode> nodes;
};

struct Device {
    int master = -1;
    std::map<uint16_t, std::vector<uint8_t>> nv;
    std::mutex nvMutex;
    sim::DiagSession session;
    StopSignal stop;
    std::future<sim::DiagOutcome> served;

    Device() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        for (uint16_t id : {0, 10, 550, 1943, 4399, 6828})
            nv[id].assign(64, static_cast<uint8_t>(id));
        session.nv = &nv;
        session.nvMutex = &nvMutex;
        served =
            std::async(std::launch::async, [this] { return ServeDiag(master, session, stop); });
    }
    ~Device() {
        stop.Request();
        served.wait();
        close(master);
    }
};

bool BackupAndRestore(const QmslTable& q, unsigned com, const std::string& path) {
    void* h = q.ConnectServer(com);
    if (!h || !q.IsPhoneConnected(h)) return false;
    unsigned char spc[6] = {'4', '1', '8', '2', '7', '6'}, answer = 0;
    int code = 0, count = 0;
    char buf[260];
    std::snprintf(buf, sizeof buf, "%s", path.c_str());
    bool ok = q.DIAG_SPC_F(h, spc, &answer) && q.BackupNVFromMobileToQCN(h, buf, &code) &&
              q.NV_LoadNVsFromQCN(h, buf, &count, &code) && q.NV_WriteNVsToMobile(h, &code);
    q.DisconnectServer(h);
    return ok;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("gfqmsl." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    Tree tree;
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < 8; ++i) {
        devices.push_back(std::make_unique<Device>());
        DeviceNode n;
        n.isComPort = true;
        n.comNumber = 30 + i;
        n.devicePath = ptsname(devices.back()->master);
        tree.nodes.push_back(n);
    }
    QmslLoader loader;
    std::string error;
    if (!loader.Load(GF_BIN_DIR "/libqmsl.so", &tree, error)) {
        std::cerr << "cannot load libqmsl: " << error << "\n";
        return 1;
    }
    const QmslTable& q = *loader.Table();

    auto start = Clock::now();
    if (!BackupAndRestore(q, 30, (dir / "one.qcn").string())) return 1;
    std::cout << "qmsl_backup_restore_one_device: " << Ms(Clock::now() - start) << " ms\n";

    start = Clock::now();
    std::vector<std::future<bool>> runs;
    for (unsigned i = 0; i < 8; ++i) {
        runs.push_back(std::async(std::launch::async, [&, i] {
            return BackupAndRestore(q, 30 + i,
                                    (dir / ("dev" + std::to_string(i) + ".qcn")).string());
        }));
    }
    bool all = true;
    for (auto& r : runs) all = r.get() && all;
    std::cout << "qmsl_backup_restore_eight_devices: " << Ms(Clock::now() - start) << " ms\n";
    std::filesystem::remove_all(dir);
    return all ? 0 : 1;
}
