#include <gtest/gtest.h>

#include <filesystem>

#include "InstanceLock.h"
#include "StationFixture.h"
#include "app/GangflashApp.h"
#include "job/JobOwner.h"

using namespace gf;
using namespace gf::test;

TEST(Startup, DefaultsWithoutSettingsFile) {
    StationFixture f;
    f.dlg->OnInitDialog();
    EXPECT_FALSE(f.dlg->Ended());
    EXPECT_EQ(f.dlg->m_nDownloadTimeout, 0u);
    EXPECT_EQ(f.dlg->m_bEmergDL, 1);
    EXPECT_FALSE(f.view.IsChecked(kAutoAllId));
    EXPECT_EQ(f.dlg->m_szLogDir, f.cwd.path() + "/Log");
    EXPECT_TRUE(std::filesystem::is_directory("Log"));
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(f.dlg->m_nSlotState[slot], kSlotIdle);
        EXPECT_TRUE(FileExists(f.services.workRoot + "DL" + std::to_string(slot) + "/sahara" +
                               std::to_string(slot)));
        EXPECT_TRUE(FileExists(f.services.workRoot + "DL" + std::to_string(slot) + "/firehorse" +
                               std::to_string(slot)));
    }
    EXPECT_TRUE(f.view.Boxes().empty());
}

TEST(Startup, DownloadTimeoutBelowTwentyIsRefused) {
    struct Case {
        const char* value;
        bool refused;
    } cases[] = {{"19", true}, {"1", true}, {"20", false}, {"0", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        StationFixture f(std::string("nDownloadTimeout=") + c.value + "\r\nbAutoAll=1\r\n");
        f.dlg->OnInitDialog();
        EXPECT_EQ(f.dlg->Ended(), c.refused);
        if (c.refused) {
            ASSERT_EQ(f.view.Boxes().size(), 1u);
            EXPECT_EQ(f.view.Boxes()[0].text, "nDownloadTimeout的配置至少为20秒");
            EXPECT_EQ(f.view.Boxes()[0].caption, "Error");
            EXPECT_EQ(f.view.Boxes()[0].flags, static_cast<unsigned>(MB_ICONINFORMATION));
            EXPECT_EQ(f.view.EndDialogResult(), 0);
            EXPECT_FALSE(f.view.IsChecked(kAutoAllId));  // the remaining steps are skipped
        } else {
            EXPECT_TRUE(f.view.IsChecked(kAutoAllId));
        }
    }
}

TEST(Startup, MissingLoaderSourceFailsTwiceTwoSecondsApart) {
    StationFixture f;
    std::filesystem::remove("sahara");
    f.ports.names = {"Qualcomm HS-USB QDLoader 9008 (COM12)"};
    f.dlg->OnInitDialog();
    EXPECT_EQ(f.clock.Sleeps(), (std::vector<unsigned>{2000}));
    ASSERT_EQ(f.view.Boxes().size(), 1u);
    EXPECT_EQ(f.view.Boxes()[0].text, "Cann't create directory or copy files.");
    EXPECT_EQ(f.view.Boxes()[0].flags, static_cast<unsigned>(MB_ICONEXCLAMATION));
    EXPECT_TRUE(f.dlg->Ended());
    // The remaining steps still run: the first port scan happens.
    EXPECT_EQ(f.view.Text(1000), "LOAD_COM12");
}

TEST(Startup, RunningCopiesAreEndedAndQpstRefusesAfterTheCopies) {
    StationFixture f;
    f.processes.running = {"sahara5", "QPSTServer.exe"};
    f.dlg->OnInitDialog();
    EXPECT_EQ(f.processes.killed, (std::vector<std::string>{"sahara5"}));
    EXPECT_EQ(f.clock.Sleeps(), (std::vector<unsigned>{300}));  // after the kill
    EXPECT_TRUE(FileExists(f.services.workRoot + "DL7/firehorse7"));
    ASSERT_EQ(f.view.Boxes().size(), 1u);
    EXPECT_EQ(f.view.Boxes()[0].text, "QPST is running. You need to close the QPST server.");
    EXPECT_TRUE(f.dlg->Ended());
}

TEST(Startup, ModemManagerIsAWarningOnly) {
    StationFixture f;
    f.processes.running = {"ModemManager"};
    f.dlg->OnInitDialog();
    EXPECT_FALSE(f.dlg->Ended());
    ASSERT_EQ(f.view.Boxes().size(), 1u);
    EXPECT_EQ(f.view.Boxes()[0].caption, "Warning");
    EXPECT_NE(f.view.Boxes()[0].text.find("ModemManager"), std::string::npos);
}

TEST(Startup, SecondInstanceIsRefusedWhileTheFirstRuns) {
    ScopedTempCwd cwd;
    RecordingView view;
    auto first = std::make_unique<InstanceLock>(cwd.path());
    CGangflashApp app1(*first);
    EXPECT_TRUE(app1.InitInstance(view));
    InstanceLock secondLock(cwd.path());
    CGangflashApp app2(secondLock);
    EXPECT_FALSE(app2.InitInstance(view));
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0].text, "升级工具已经启动!");
    // The marker goes with the first instance; the next start succeeds.
    first.reset();
    InstanceLock third(cwd.path());
    CGangflashApp app3(third);
    EXPECT_TRUE(app3.InitInstance(view));
}
