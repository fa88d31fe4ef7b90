#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <chrono>

#include "ProfileFile.h"
#include "QtTestEnv.h"
#include "TempDir.h"
#include "VirtualClock.h"
#include "app/GangflashDlg.h"
#include "gui/QtDispatcher.h"
#include "gui/StationWindow.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "platform/DeviceTree.h"
#include "platform/Process.h"
#include "platform/Services.h"

namespace gf::test {
namespace {

// Present COM ports by friendly name, with a device-change listener as the
// udev monitor offers it.
class Ports : public IDeviceTree, public IDeviceChangeSource {
public:
    std::vector<std::string> names;
    std::vector<DeviceNode> Snapshot() override {
        std::vector<DeviceNode> nodes;
        for (const auto& n : names) {
            DeviceNode d;
            d.instanceId = "TEST\\" + n;
            d.isComPort = true;
            d.friendlyName = n;
            d.deviceDesc = n;
            d.hardwareIds = {"TEST"};
            nodes.push_back(d);
        }
        return nodes;
    }
    void SetListener(std::function<void()> onChange) override { listener = std::move(onChange); }
    std::function<void()> listener;
};

class NoProcesses : public IProcessTable {
public:
    bool KillProcessByName(const std::string&) override { return false; }
    bool IsProcessRunning(const std::string&) override { return false; }
};

// The window wired to the real controller the way the program wires it, in a
// temporary station directory.
class StationInWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("sahara", "#!/bin/sh\n");
        WriteFile("firehorse", "#!/bin/sh\n");
        services.clock = &clock;
        services.profile = &profile;
        services.processes = &processes;
        services.devices = &ports;
        services.workRoot = cwd.path() + "/work/";
        dlg = std::make_unique<CGangflashDlg>(window, dispatcher, services);
        window.m_onCommand = [this](int id) { dlg->OnCommand(id); };
        window.m_onTimer = [this](int id) { dlg->OnTimer(id); };
        ports.SetListener([this] { dispatcher.Post([this] { dlg->OnDeviceChange(); }); });
        window.show();
    }
    void TearDown() override {
        dlg->StopAllJobs();
        dispatcher.RunPending();
        dlg.reset();
    }
    // Runs the Qt event loop until `pred` holds (bounded by a deadline).
    bool LoopUntil(const std::function<bool()>& pred) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    QColor StatusBack(int slot) {
        const QImage img = Grab(window);
        return img.pixelColor(window.Control(kStatusId + slot)->geometry().topLeft() +
                              QPoint(3, 3));
    }

    ScopedTempCwd cwd;
    VirtualClock clock;
    ProfileFile profile;
    NoProcesses processes;
    Ports ports;
    Services services;
    CQtDispatcher dispatcher;
    CStationWindow window;
    std::unique_ptr<CGangflashDlg> dlg;
};

// Each slot state code as the window shows it: the status text's colours
// (text on background), "READY" for ready, the Start button only when ready.
TEST_F(StationInWindow, StatusTextShowsEachStateInItsColours) {
    ASSERT_TRUE(HaveFont());
    struct Case {
        int state;
        QColor text, back;
    };
    const Case cases[] = {
        {kSlotFailed, Qt::white, QColor(255, 0, 0)},
        {kSlotPassed, QColor(0, 0, 255), QColor(0, 255, 0)},
        {kSlotIdle, Qt::white, Qt::white},
        {kSlotWorking, Qt::white, QColor(0, 0, 255)},
        {kSlotReady, Qt::white, QColor(180, 180, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const int slot = c.state + 2;
        window.SetText(kStatusId + slot, "Writing system.img");
        dlg->OnSlotStateMessage(kStatusId + slot, c.state);
        const QImage img = Grab(window);
        const QRect inner = window.Control(kStatusId + slot)->geometry().adjusted(2, 2, -2, -2);
        EXPECT_EQ(img.pixelColor(inner.topLeft()), c.back);
        EXPECT_EQ(img.pixelColor(inner.bottomRight()), c.back);
        EXPECT_TRUE(HasPixel(img, inner, c.text));
        if (c.text == c.back) {
            EXPECT_TRUE(InkBox(img, inner, c.back).isEmpty());
        }
        EXPECT_EQ(window.Control(kStartButtonId + slot)->isEnabled(), c.state == kSlotReady);
    }
    EXPECT_EQ(window.GetText(kStatusId + 6), "READY");
    EXPECT_EQ(window.GetText(kStatusId + 2), "Writing system.img");  // failed keeps the text
}

TEST_F(StationInWindow, DeviceChangeMakesASlotReadyAndAJobReportsThroughTheWindow) {
    ASSERT_TRUE(HaveFont());
    dlg->OnInitDialog();
    ASSERT_FALSE(window.Ended());
    for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(StatusBack(slot), QColor(Qt::white));

    // The monitor reports from its own thread; the scan runs on the UI thread.
    ports.names = {"Qualcomm HS-USB QDLoader 9008 (COM12)"};
    std::thread monitor([this] { ports.listener(); });
    monitor.join();
    ASSERT_TRUE(LoopUntil([this] { return window.GetText(kStatusId) == "READY"; }));
    EXPECT_EQ(StatusBack(0), QColor(180, 180, 255));
    EXPECT_TRUE(window.Control(kStartButtonId)->isEnabled());
    EXPECT_EQ(window.GetText(kPortComboId), "LOAD_COM12");

    // A start runs a job on its worker thread; its reports are blocking sends.
    dlg->m_strRawProgramPath = cwd.path() + "/pkg/rawprogram0.xml";
    dlg->m_strPatchPath = cwd.path() + "/pkg/patch0.xml";
    dlg->m_strProgrammerPath = cwd.path() + "/pkg/prog_emmc_firehose.mbn";
    dlg->m_strPackageDir = cwd.path() + "/pkg/";
    std::atomic<bool> release{false};
    dlg->m_onJobCreated = [&release](CDownloadProc& job) {
        job.m_procedureOverride = [&release](CDownloadProc& j) {
            j.ShowStatus(kSlotWorking, "Writing system.img");
            j.SetPercent(45);
            while (!release) std::this_thread::yield();
            j.ShowStatus(kSlotPassed, "PASS");
        };
    };
    qobject_cast<QPushButton*>(window.Control(kStartButtonId))->click();
    EXPECT_TRUE(window.TimerActive(0));
    ASSERT_TRUE(LoopUntil([this] { return window.GetText(kPercentId) == "45%"; }));
    EXPECT_EQ(window.GetText(kStatusId), "Writing system.img");
    EXPECT_EQ(StatusBack(0), QColor(0, 0, 255));
    EXPECT_EQ(qobject_cast<QProgressBar*>(window.Control(kProgressId))->value(), 45);
    EXPECT_FALSE(window.Control(kStartButtonId)->isEnabled());

    release = true;
    ASSERT_TRUE(LoopUntil([this] { return window.GetText(kStatusId) == "PASS"; }));
    EXPECT_EQ(StatusBack(0), QColor(0, 255, 0));
    EXPECT_FALSE(window.TimerActive(0));
}

}  // namespace
}  // namespace gf::test
