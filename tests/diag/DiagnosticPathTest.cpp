#include <gtest/gtest.h>

#include <mutex>

#include "JobFixture.h"
#include "ScriptedQmsl.h"
#include "diag/QcnOperation.h"
#include "job/JobOwner.h"
#include "platform/DeviceTree.h"

using namespace gf;
using namespace gf::test;

namespace {

using Strings = std::vector<std::string>;

// One device on hub port 3, seen in diagnostic mode as COM12 or in download
// mode as COM15, or absent.
class OneDeviceTree : public IDeviceTree {
public:
    enum class Mode { Diag, Download, Gone };

    void Set(Mode mode) {
        std::lock_guard lock(m_mutex);
        m_mode = mode;
    }
    std::vector<DeviceNode> Snapshot() override {
        std::lock_guard lock(m_mutex);
        std::vector<DeviceNode> nodes;
        DeviceNode hub;
        hub.instanceId = "USB\\ROOT_HUB30\\4&1A2B3C&0&0";
        if (m_mode == Mode::Gone) return {hub};
        if (m_mode == Mode::Diag) {
            DeviceNode usb;
            usb.instanceId = "USB\\VID_05C6&PID_9091\\5&2A3B&0&3";
            usb.parentId = hub.instanceId;
            DeviceNode port;
            port.instanceId = "USB\\VID_05C6&PID_9091&MI_00\\6&1C2D&0&0000";
            port.parentId = usb.instanceId;
            port.isComPort = true;
            port.friendlyName = "Qualcomm HS-USB Diagnostics 9091 (COM12)";
            port.deviceDesc = "Qualcomm HS-USB Diagnostics 9091";
            port.hardwareIds = {"USB\\VID_05C6&PID_9091&MI_00"};
            port.locationPaths = {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USBMI(0)"};
            port.devicePath = "/dev/ttyUSB0";
            port.comNumber = 12;
            return {port, usb, hub};
        }
        DeviceNode port;
        port.instanceId = "USB\\VID_05C6&PID_9008\\5&2A3B&0&3";
        port.parentId = hub.instanceId;
        port.isComPort = true;
        port.friendlyName = "Qualcomm HS-USB QDLoader 9008 (COM15)";
        port.deviceDesc = "Qualcomm HS-USB QDLoader 9008";
        port.hardwareIds = {"USB\\VID_05C6&PID_9008"};
        port.locationPaths = {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)"};
        port.devicePath = "/dev/ttyUSB1";
        port.comNumber = 15;
        return {port, hub};
    }

private:
    std::mutex m_mutex;
    Mode m_mode = Mode::Diag;
};

struct PathJob {
    JobFixture f;
    ScriptedQmsl qmsl;
    OneDeviceTree tree;
    std::shared_ptr<CDownloadProc> job;

    PathJob(int portType, bool backup, ScriptedQmsl::Script script = {}) {
        if (!script.onSwitch) script.onSwitch = [this] { tree.Set(OneDeviceTree::Mode::Download); };
        qmsl.SetScript(script);
        f.services.qmsl = qmsl.Table();
        f.services.devices = &tree;
        job = f.MakeJob(0);
        job->m_portMapping.SetTree(&tree);
        job->m_nPort = portType == 1 ? 12 : 15;
        job->m_nPortType = portType;
        job->m_bBackupAndRestoreQCN = backup;
        if (portType == 2) tree.Set(OneDeviceTree::Mode::Download);
    }
    // The procedure's order of points, with the loader stage left out: the
    // device comes back in diagnostic mode as flashing would leave it.
    void RunPoints() {
        job->m_procedureOverride = [this](CDownloadProc& j) {
            if (!j.DiagPointA()) return;
            j.m_hQmsl = nullptr;
            if (j.m_bBackupAndRestoreQCN && !j.DiagPointB()) return;
            int port = j.m_nPort;
            if (j.m_nPortType == 1 && !j.DiagPointC(port)) return;
            downloadPort = port;
            tree.Set(OneDeviceTree::Mode::Diag);
            if (j.m_bBackupAndRestoreQCN && !j.DiagPointD()) return;
            if (j.m_nPortType == 1) j.DiagPointE();
            j.ShowStatus(kSlotPassed, "PASS");
        };
        f.RunToEnd(job);
    }
    Strings Texts() const { return f.owner.view.TextHistory(kStatusId); }
    bool HasText(const std::string& t) const {
        for (const auto& s : Texts())
            if (s == t) return true;
        return false;
    }
    int downloadPort = -1;
};

}  // namespace

TEST(DiagnosticPath, DiagJobWithBackupRunsEveryPointInOrder) {
    PathJob p(1, true);
    WriteFile("Log/ORVA_Gangflash_COM12.qcn", "left by an earlier job");
    p.RunPoints();

    EXPECT_EQ(p.downloadPort, 15);
    EXPECT_EQ(p.f.owner.Ports(), (std::vector<std::pair<int, std::string>>{{0, "COM15"}}));
    const Strings nvSteps = {"ConnectServer: OK",       "IsPhoneConnected: TRUE",
                             "Send default SPC 418276", "Command Status: OK",
                             "SPC Status: OK",          "Set Target Support Multi SIM"};
    Strings expected = {"COM12  USB\\ROOT_HUB30\\4&1A2B3C&0&0\\PORT3",
                        "Log/ORVA_Gangflash_COM12.qcn"};
    expected.insert(expected.end(), nvSteps.begin(), nvSteps.end());
    expected.insert(
        expected.end(),
        {"Backuping QCN...", "Backup NV To QCN.....", "Backuping QCN successfully",
         "ConnectServer: OK", "IsPhoneConnected: TRUE", "Switch To EDL: OK", "COM12 AfterEDL COM15",
         "Wating for diag port is ready.", "Log/ORVA_Gangflash_COM12.qcn"});
    expected.insert(expected.end(), nvSteps.begin(), nvSteps.end());
    expected.insert(expected.end(),
                    {"Restore QCN...", "Load NVs From QCN......", "Write NVs To Mobile......",
                     "Restore QCN successfully", "PASS"});
    EXPECT_EQ(p.Texts(), expected);
    // The restore read what this job's backup wrote, then removed the file.
    EXPECT_EQ(p.qmsl.LoadedContent(), "scripted qcn\n");
    EXPECT_FALSE(FileExists("Log/ORVA_Gangflash_COM12.qcn"));
    // Backup on h1, switch on h2 (closing h1 first), restore on h3 closed at E.
    EXPECT_EQ(p.qmsl.CountOf("ConnectServer 12"), 3);
    EXPECT_EQ(p.qmsl.CountOf("BackupNVFromMobileToQCN h1 Log/ORVA_Gangflash_COM12.qcn"), 1);
    EXPECT_EQ(p.qmsl.CountOf("SwitchToEDL h2"), 1);
    EXPECT_EQ(p.qmsl.CountOf("NV_WriteNVsToMobile h3"), 1);
    EXPECT_EQ(p.qmsl.Calls().back(), "DisconnectServer h3");
    EXPECT_TRUE(p.qmsl.Misuses().empty());
    EXPECT_TRUE(p.qmsl.OpenHandles().empty());
}

TEST(DiagnosticPath, DiagJobWithoutBackupSendsOneNewPortAndNoFinalDisconnect) {
    PathJob p(1, false);
    p.RunPoints();
    EXPECT_EQ(p.f.owner.Ports().size(), 1u);
    EXPECT_EQ(p.downloadPort, 15);
    EXPECT_EQ(p.qmsl.CountOf("ConnectServer"), 1);
    EXPECT_EQ(p.qmsl.CountOf("DisconnectServer"), 1);  // the switch's own
    EXPECT_EQ(p.Texts().back(), "PASS");
}

TEST(DiagnosticPath, RefusedSwitchShowsItsFailureThenTheSearchDecides) {
    for (bool switchedAnyway : {true, false}) {
        ScriptedQmsl::Script s;
        s.switchAccepted = false;
        PathJob p(1, false, s);
        if (!switchedAnyway) p.qmsl.SetScript(s);  // the device stays in diagnostic mode
        p.RunPoints();
        const Strings texts = p.Texts();
        EXPECT_TRUE(p.HasText("QLIB_QPHONEMS_SwitchToEDL: FAIL")) << switchedAnyway;
        EXPECT_EQ(p.qmsl.CountOf("DisconnectServer h1"), 1) << switchedAnyway;
        if (switchedAnyway) {
            EXPECT_EQ(texts.back(), "PASS");
            EXPECT_EQ(p.f.owner.Ports().size(), 1u);
        } else {
            EXPECT_EQ(texts.back(), "Can not GetPortAfterPowerCycleByPhysicalAddress ,Error:");
            EXPECT_TRUE(p.f.owner.Ports().empty());
            EXPECT_EQ(p.f.owner.States().back(), std::make_pair(kStatusId, 0));
        }
    }
}

TEST(DiagnosticPath, DownloadPortJobWithBackupFailsAtTheReadinessWait) {
    PathJob p(2, true);
    p.f.clock.ClearSleeps();
    p.f.RunToEnd(p.job);  // the real procedure
    EXPECT_EQ(p.Texts(),
              (Strings{"Enter DownloadProc Function...", "COM15 is not Ready,PortType:2"}));
    EXPECT_EQ(p.f.owner.States().back(), std::make_pair(kStatusId, 0));
    EXPECT_EQ(p.f.clock.Sleeps(), std::vector<unsigned>(10, 1000));
    EXPECT_TRUE(p.qmsl.Calls().empty());
}

TEST(DiagnosticPath, NvFailuresEndTheJobAndLetGoOfTheConnection) {
    struct Case {
        const char* name;
        ScriptedQmsl::Script script;
        bool removeBetween;  // the QCN file disappears after the backup
        std::string last;
        bool qcnLeft;
    };
    auto with = [](auto change) {
        ScriptedQmsl::Script s;
        change(s);
        return s;
    };
    Case cases[] = {
        // The earlier job's file is deleted before the backup, not reused.
        {"backup fails", with([](auto& s) {
             s.backupOk = false;
             s.backupCode = 2;
         }),
         false, "Failed Backup NV To QCN, ResultCode = 2", false},
        {"file gone", {}, true, "QCN file doesn't exist", false},
        {"load fails", with([](auto& s) {
             s.loadOk = false;
             s.loadCode = 4;
         }),
         false, "Failed Load NVs From QCN, ResultCode = 4", true},
        {"write fails", with([](auto& s) {
             s.writeOk = false;
             s.writeCode = 5;
         }),
         false, "Failed Write NVs To Mobile, ResultCode = 5", true},
    };
    for (const auto& c : cases) {
        PathJob p(1, true, c.script);
        WriteFile("Log/ORVA_Gangflash_COM12.qcn", "left by an earlier job");
        if (c.removeBetween) {
            p.qmsl.SetScript(with([&](auto& s) {
                s.onSwitch = [&] {
                    std::remove("Log/ORVA_Gangflash_COM12.qcn");
                    p.tree.Set(OneDeviceTree::Mode::Download);
                };
            }));
        }
        p.RunPoints();
        EXPECT_EQ(p.Texts().back(), c.last) << c.name;
        EXPECT_EQ(p.f.owner.States().back(), std::make_pair(kStatusId, 0)) << c.name;
        EXPECT_EQ(FileExists("Log/ORVA_Gangflash_COM12.qcn"), c.qcnLeft) << c.name;
        // Decided: a failed job does not keep its diag connection open.
        EXPECT_TRUE(p.qmsl.OpenHandles().empty()) << c.name;
        EXPECT_TRUE(p.qmsl.Misuses().empty()) << c.name;
    }
}
