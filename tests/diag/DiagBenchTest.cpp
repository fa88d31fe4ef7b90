// A DIAG-port job on the simulated bench, through the station and the
// terminal front-end: NV backup, switch to download mode, hand-over, flashing,
// the return of the diagnostic port and the restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "ProcessLauncher.h"
#include "ProcessTable.h"
#include "ProfileFile.h"
#include "RealClock.h"
#include "SamplePackage.h"
#include "SimBench.h"
#include "SimWiring.h"
#include "TempDir.h"
#include "TermStation.h"
#include "TermView.h"
#include "app/GangflashDlg.h"
#include "diag/QmslLoader.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "util/QueueDispatcher.h"

using namespace gf;
using namespace gf::test;
namespace fs = std::filesystem;

namespace {

// Stands between the jobs and the main window to count new-port messages.
class CountingOwner : public IJobOwner {
public:
    explicit CountingOwner(CGangflashDlg& dlg) : m_dlg(dlg) {}
    IView& View() override { return m_dlg.View(); }
    IDispatcher& Dispatcher() override { return m_dlg.Dispatcher(); }
    void OnSlotStateMessage(int statusId, int state) override {
        m_dlg.OnSlotStateMessage(statusId, state);
    }
    void OnNewPortMessage(int slot, const char* port) override {
        {
            std::lock_guard lock(m_mutex);
            m_ports.emplace_back(std::to_string(slot) + " " + (port ? port : ""));
        }
        m_dlg.OnNewPortMessage(slot, port);
    }
    std::vector<std::string> Ports() {
        std::lock_guard lock(m_mutex);
        return m_ports;
    }

private:
    CGangflashDlg& m_dlg;
    std::mutex m_mutex;
    std::vector<std::string> m_ports;
};

}  // namespace

TEST(DiagBench, DiagSlotBacksUpSwitchesFlashesAndRestoresToPass) {
    ScopedTempCwd cwd;
    for (const char* tool : {"sahara", "firehorse"}) {
        fs::copy_file(std::string(GF_TEST_BIN_DIR) + "/" + tool, tool);
    }
    WriteFile("GangflashConfig.ini",
              "[SettingItems]\r\nbEmergDL=0\r\nbBackupAndRestoreQCN=1\r\nbReset=1\r\n"
              "bAutoAll=1\r\nnDownloadTimeout=20\r\nnOverTimeSeconds=300\r\n");
    const std::string package = cwd.path() + "/pkg/";
    std::string error;
    ASSERT_TRUE(sim::MakeSamplePackage(package, error, sim::MakeProgrammerWriter())) << error;

    sim::BenchConfig config;
    ASSERT_TRUE(sim::ParseSimulateArgument("1,mode=diag", 8, config.count, config.knobs, error))
        << error;
    config.dir = cwd.path() + "/sim";
    config.servers = sim::MakeModeServers();
    sim::SimBench bench(std::move(config));
    ASSERT_TRUE(bench.Start(error)) << error;
    {
        // NV items the device has before the run; the flashing must not lose them.
        auto& state = bench.State(1);
        std::lock_guard lock(state.nvMutex);
        state.nv[550] = {0x08, 0x3A, 0x21, 0x43, 0x65, 0x87, 0x09, 0x21, 0x43};
        state.nv[4399] = std::vector<uint8_t>(128, 0x5A);
        state.nv[7000] = {0x7E, 0x7D, 0x00};
    }
    const auto nvBefore = [&] {
        auto& state = bench.State(1);
        std::lock_guard lock(state.nvMutex);
        return state.nv;
    }();
    const int diagCom = bench.Device(1)->comNumber;

    RealClock clock;
    ProfileFile profile;
    ProcessLauncher launcher;
    ProcessTable processes;
    QmslLoader qmsl;
    ASSERT_TRUE(qmsl.Load(std::string(GF_TEST_BIN_DIR) + "/libqmsl.so", &bench, error)) << error;
    Services services;
    services.clock = &clock;
    services.profile = &profile;
    services.launcher = &launcher;
    services.processes = &processes;
    services.devices = &bench;
    services.qmsl = qmsl.Table();
    services.workRoot = cwd.path() + "/work/";

    std::ostringstream out;
    TermView view(out, false, false);
    view.SetAssumeYes(true);
    QueueDispatcher dispatcher;
    CGangflashDlg dlg(view, dispatcher, services);
    CountingOwner owner(dlg);
    std::string logPath;
    dlg.m_restorePackage = [&] {
        dlg.m_strRawProgramPath = package + "rawprogram0.xml";
        dlg.m_strPatchPath = package + "patch0.xml";
        dlg.m_strProgrammerPath = package + sim::kSampleProgrammer;
        dlg.m_strPackageDir = package;
    };
    dlg.m_onJobCreated = [&](CDownloadProc& job) {
        job.m_pOwnerWnd = &owner;
        logPath = job.m_strLogPath;
    };
    TermOptions options;
    options.autoAll = true;
    options.exitWhenIdle = true;
    TermStation station(view, dispatcher, dlg, &bench, options);
    // Flashing in download mode damages the NV items: only the restore can
    // give them back.
    bool damaged = false;
    std::thread damage([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline) {
            auto dev = bench.Device(1);
            if (dev && dev->mode == sim::SimMode::Download) {
                auto& state = bench.State(1);
                std::lock_guard lock(state.nvMutex);
                state.nv[550][3] = 0;
                state.nv[4399].assign(128, 0);
                damaged = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const int status = station.Run();
    damage.join();
    const std::string log = ReadFile(logPath);
    SCOPED_TRACE(station.Summary() + out.str() + log);

    EXPECT_EQ(status, 0);
    EXPECT_NE(log.find("STATUS_TEXT:\tPASS\r\n"), std::string::npos);
    // In order: backup, switch, hand-over, flashing, restore.
    std::size_t at = 0;
    for (const std::string& step :
         {std::string("Backuping QCN successfully"), std::string("Switch To EDL: OK"),
          "COM" + std::to_string(diagCom) + " AfterEDL COM", std::string("Sahara protocol"),
          std::string("Wating for diag port is ready."), std::string("Restore QCN successfully"),
          std::string("PASS")}) {
        const std::size_t found = log.find(step, at);
        EXPECT_NE(found, std::string::npos) << step;
        if (found != std::string::npos) at = found;
    }
    const auto ports = owner.Ports();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].rfind("0 COM", 0), 0u);
    EXPECT_NE(ports[0], "0 COM" + std::to_string(diagCom));

    EXPECT_TRUE(damaged);
    {
        auto& state = bench.State(1);
        std::lock_guard lock(state.nvMutex);
        EXPECT_EQ(state.nv, nvBefore);
    }
    std::string mismatch;
    EXPECT_TRUE(sim::CheckFlashedSample(package, bench.Device(1)->storagePath, mismatch))
        << mismatch;
    EXPECT_FALSE(FileExists("Log/ORVA_Gangflash_COM" + std::to_string(diagCom) + ".qcn"));
    bench.Stop();
}
