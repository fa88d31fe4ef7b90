#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ProfileFile.h"
#include "QtTestEnv.h"
#include "TempDir.h"
#include "VirtualClock.h"
#include "app/GangflashDlg.h"
#include "gui/GuiMain.h"
#include "gui/StationWindow.h"
#include "platform/DeviceTree.h"
#include "platform/Process.h"
#include "platform/Services.h"
#include "platform/UserStore.h"

namespace gf::test {
namespace {

class NoPorts : public IDeviceTree {
public:
    std::vector<DeviceNode> Snapshot() override { return {}; }
};

class NoProcesses : public IProcessTable {
public:
    bool KillProcessByName(const std::string&) override { return false; }
    bool IsProcessRunning(const std::string&) override { return false; }
};

class HeldLock : public IInstanceLock {
public:
    bool Acquire(const std::string& marker) override {
        asked = marker;
        return false;
    }
    std::string asked;
};

// The program's entry into the window, in a temporary station directory.
class RunGui : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("sahara", "#!/bin/sh\n");
        WriteFile("firehorse", "#!/bin/sh\n");
        services.clock = &clock;
        services.profile = &profile;
        services.processes = &processes;
        services.devices = &ports;
        services.workRoot = cwd.path() + "/work/";
    }
    // Answers the next message box with OK, remembering its text.
    void AnswerNextBox() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            boxText = box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        });
    }
    int Run(const GuiStationOptions& options) {
        int argc = 1;
        char name[] = "gangflash";
        char* argv[] = {name, nullptr};
        return RunGuiStation(argc, argv, services, nullptr, options);
    }

    ScopedTempCwd cwd;
    VirtualClock clock;
    ProfileFile profile;
    NoProcesses processes;
    NoPorts ports;
    Services services;
    std::string boxText;
};

TEST_F(RunGui, ScreenshotAfterStartUp) {
    bool wired = false, autoAllChecked = false;
    GuiStationOptions options;
    options.autoAll = true;
    options.screenshotPath = cwd.path() + "/station.png";
    options.wire = [&](CGangflashDlg& dlg, CStationWindow& window) {
        wired = true;
        dlg.m_restorePackage = [&] { autoAllChecked = window.IsChecked(kAutoAllId); };
    };
    EXPECT_EQ(Run(options), 0);
    EXPECT_TRUE(wired);
    EXPECT_TRUE(autoAllChecked);  // checked before start-up ran
    const QImage shot(QString::fromStdString(options.screenshotPath));
    EXPECT_FALSE(shot.isNull());
    EXPECT_GT(shot.width(), 400);

    options.screenshotPath = cwd.path() + "/missing/station.png";
    EXPECT_EQ(Run(options), 1);
}

TEST_F(RunGui, RefusedStartUpEndsWithoutShowingTheWindow) {
    WriteFile("GangflashConfig.ini", "[SettingItems]\r\nnDownloadTimeout=5\r\n");
    AnswerNextBox();
    GuiStationOptions options;
    EXPECT_EQ(Run(options), 0);  // returns: no event loop was left waiting
    EXPECT_EQ(boxText, "nDownloadTimeout的配置至少为20秒");
}

TEST_F(RunGui, SecondInstanceIsToldAndGetsNoWindow) {
    HeldLock lock;
    bool wired = false;
    GuiStationOptions options;
    options.instanceLock = &lock;
    options.wire = [&](CGangflashDlg&, CStationWindow&) { wired = true; };
    AnswerNextBox();
    EXPECT_EQ(Run(options), 1);
    EXPECT_EQ(lock.asked, "DPCInstance_605AEC83_6D25_45B2_B8EC_26202531D2A96");
    EXPECT_EQ(boxText, "升级工具已经启动!");
    EXPECT_FALSE(wired);
}

}  // namespace
}  // namespace gf::test
