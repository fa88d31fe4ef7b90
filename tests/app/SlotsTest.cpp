#include <gtest/gtest.h>

#include "StationFixture.h"
#include "job/JobOwner.h"
#include "job/StatusBoard.h"

using namespace gf;
using namespace gf::test;

TEST(Slots, StateMessagesShowEachCode) {
    struct Case {
        int code;
        COLORREF text, background;
        const char* status;  // status text afterwards
        bool resetsCounters;
        int startEnabled;    // 1 enabled, 0 disabled, -1 untouched
        bool killsTimer;
    } cases[] = {
        {0, 0xFFFFFF, 0x0000FF, "busy", false, -1, true},
        {1, 0xFF0000, 0x00FF00, "busy", false, -1, true},
        {2, 0xFFFFFF, 0xFFFFFF, "busy", true, 0, false},
        {3, 0xFFFFFF, 0xFF0000, "busy", false, 0, false},
        {4, 0xFFFFFF, 0xFFB4B4, "READY", true, 1, false},
    };
    for (const auto& c : cases) {
        StationFixture f;
        f.view.SetText(1023, "busy");
        f.view.SetText(1043, "17s");
        f.view.SetText(1055, "45%");
        f.view.SetProgressPos(1013, 45);
        f.view.SetTimer(3, 1000);
        f.view.ClearCalls();
        f.dlg->OnSlotStateMessage(1023, c.code);
        SCOPED_TRACE(c.code);
        EXPECT_EQ(f.dlg->m_nSlotState[3], c.code);
        EXPECT_EQ(f.view.TextColor(1023), c.text);
        EXPECT_EQ(f.view.BkColor(1023), c.background);
        EXPECT_EQ(f.view.Text(1023), c.status);
        EXPECT_EQ(f.view.Text(1043), c.resetsCounters ? "0s" : "17s");
        EXPECT_EQ(f.view.Text(1055), c.resetsCounters ? "0%" : "45%");
        EXPECT_EQ(f.view.Progress(1013), c.resetsCounters ? 0 : 45);
        EXPECT_EQ(f.view.TimerRunning(3), !c.killsTimer);
        bool touched = false;
        for (const auto& call : f.view.Calls()) touched |= call.rfind("EnableControl 1033", 0) == 0;
        EXPECT_EQ(touched, c.startEnabled >= 0);
        if (c.startEnabled >= 0) {
            EXPECT_EQ(f.view.Enabled(1033), c.startEnabled == 1);
        }
        // Text colour first, then background, then an erasing invalidate.
        auto calls = f.view.Calls();
        auto pos = [&](const std::string& prefix) {
            for (std::size_t i = 0; i < calls.size(); ++i)
                if (calls[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
            return -1L;
        };
        EXPECT_LT(pos("SetTextColor 1023"), pos("SetBkColor 1023"));
        EXPECT_LT(pos("SetBkColor 1023"), pos("Invalidate 1023 erase"));
    }
}

TEST(Slots, UnknownCodeIsStoredButChangesNothingAndNullPortEmpties) {
    StationFixture f;
    f.dlg->OnSlotStateMessage(1023, 7);
    EXPECT_EQ(f.dlg->m_nSlotState[3], 7);
    EXPECT_TRUE(f.view.Calls().empty());
    f.dlg->OnNewPortMessage(2, "COM9");
    EXPECT_EQ(f.dlg->m_strSlotPort[2], "COM9");
    f.dlg->OnNewPortMessage(2, nullptr);
    EXPECT_EQ(f.dlg->m_strSlotPort[2], "");
}

namespace {

void MakeReady(StationFixture& f, int slot, const std::string& label) {
    f.view.ComboResetContent(1000 + slot);
    f.view.ComboAddString(1000 + slot, label);
    f.view.ComboSetCurSel(1000 + slot, 0);
    f.dlg->OnSlotStateMessage(1020 + slot, kSlotReady);
}

}  // namespace

TEST(Slots, StartFillsTheJobFromLabelPackageAndSettings) {
    StationFixture f("bErase=1\r\nbReset=1\r\nbBackupAndRestoreQCN=0\r\nnOverTimeSeconds=99\r\n");
    f.SetPackage();
    f.dlg->m_szLogDir = f.cwd.path() + "/Log";
    f.dlg->m_nDownloadTimeout = 20;
    f.clock.SetLocalTime(2024, 3, 3, 14, 5, 9);
    MakeReady(f, 3, "LOAD_COM12");
    MakeReady(f, 0, "DIAG_COM5");
    f.dlg->StartSlot(3);
    f.dlg->StartSlot(0);

    auto job = f.dlg->m_pDownloadProc[3];
    ASSERT_TRUE(job);
    EXPECT_EQ(job->m_nPort, 12);
    EXPECT_EQ(job->m_nPortType, 2);
    EXPECT_EQ(job->m_nSlot, 3);
    EXPECT_EQ(job->m_nStatusId, 1023);
    EXPECT_EQ(job->m_nProgressId, 1013);
    EXPECT_EQ(job->m_nPercentId, 1055);
    EXPECT_EQ(job->m_strRawProgram, "rawprogram0.xml");
    EXPECT_EQ(job->m_strPatch, "patch0.xml");
    EXPECT_EQ(job->m_strProgrammer, f.cwd.path() + "/pkg/prog_emmc_firehose.mbn");
    EXPECT_EQ(job->m_strPackageDir, f.cwd.path() + "/pkg/");
    EXPECT_EQ(job->m_bErase, 1);
    EXPECT_EQ(job->m_bReset, 1);
    EXPECT_EQ(job->m_nDownloadTimeout, 20u);
    EXPECT_EQ(job->m_strLogPath,
              f.cwd.path() + "/Log/ORVA_Gangflash_LOAD_COM12(2024_03_03_140509).log");
    EXPECT_EQ(f.dlg->m_nOverTimeSeconds, 99u);
    EXPECT_TRUE(f.view.TimerRunning(3));
    EXPECT_EQ(f.dlg->m_pDownloadProc[0]->m_nPort, 5);
    EXPECT_EQ(f.dlg->m_pDownloadProc[0]->m_nPortType, 1);
    EXPECT_EQ(f.Board(kBoardLogSection, 3), "XXXX");
    EXPECT_EQ(f.Board(kBoardProcSection, 3), "");
    ASSERT_TRUE(f.PumpUntil([&] { return f.dlg->m_nSlotState[3] == kSlotWorking; }));
}

TEST(Slots, StartDeclinesSilently) {
    struct Case {
        const char* name;
        int emergDL;
        int slot;
        bool ready;
        bool package;
        const char* label;
    } cases[] = {
        {"diag mode, slot above 0", 0, 1, true, true, "DIAG_COM5"},
        {"not ready", 1, 2, false, true, "LOAD_COM7"},
        {"no package", 1, 2, true, false, "LOAD_COM7"},
        {"label of three characters", 1, 2, true, true, "COM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StationFixture f;
        f.dlg->m_bEmergDL = c.emergDL;
        f.dlg->m_nDownloadTimeout = 20;
        if (c.package) f.SetPackage();
        f.view.ComboAddString(1000 + c.slot, c.label);
        f.view.ComboSetCurSel(1000 + c.slot, 0);
        if (c.ready) f.dlg->OnSlotStateMessage(1020 + c.slot, kSlotReady);
        f.view.ClearCalls();
        f.dlg->StartSlot(c.slot);
        EXPECT_FALSE(f.dlg->m_pDownloadProc[c.slot]);
        EXPECT_TRUE(f.view.Calls().empty());
        // The status-board reset happens before the checks, except in diag mode above slot 0.
        EXPECT_EQ(f.Board(kBoardLogSection, c.slot), c.emergDL == 0 ? "<none>" : "XXXX");
    }
}

TEST(Slots, StartAllInBothModes) {
    for (int emergDL : {0, 1}) {
        SCOPED_TRACE(emergDL);
        StationFixture f;
        f.SetPackage();
        f.dlg->m_bEmergDL = emergDL;
        for (int slot : {0, 2, 5}) MakeReady(f, slot, emergDL ? "LOAD_COM1" : "DIAG_COM1");
        f.dlg->OnCommand(kStartAllId);
        for (int slot = 0; slot < 8; ++slot) {
            bool expected = emergDL ? (slot == 0 || slot == 2 || slot == 5) : slot == 0;
            EXPECT_EQ(static_cast<bool>(f.dlg->m_pDownloadProc[slot]), expected) << slot;
        }
    }
}

TEST(Slots, StartAllDuringARunKeepsTheWorkingSlotsBoardAndJob) {
    StationFixture f;
    f.SetPackage();
    f.dlg->m_nDownloadTimeout = 20;
    MakeReady(f, 1, "LOAD_COM3");
    f.dlg->StartSlot(1);
    auto first = f.dlg->m_pDownloadProc[1];
    ASSERT_TRUE(f.PumpUntil([&] { return f.dlg->m_nSlotState[1] == kSlotWorking; }));
    f.profile.WriteString(kStatusBoardPath, kBoardProcSection, "Lin1 ", kBoardDownloadStart);
    f.dlg->OnCommand(kStartAllId);
    EXPECT_EQ(f.Board(kBoardProcSection, 1), kBoardDownloadStart);
    EXPECT_EQ(f.dlg->m_pDownloadProc[1], first);
    // A second press before the job's first report starts no second job either.
    MakeReady(f, 2, "LOAD_COM4");
    f.dlg->StartSlot(2);
    auto job2 = f.dlg->m_pDownloadProc[2];
    f.dlg->StartSlot(2);
    EXPECT_EQ(f.dlg->m_pDownloadProc[2], job2);
}
