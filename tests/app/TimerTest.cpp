#include <gtest/gtest.h>

#include "StationFixture.h"
#include "job/JobOwner.h"
#include "job/StatusBoard.h"

using namespace gf;
using namespace gf::test;

namespace {

// Starts `slot` on LOAD_COM<slot+10> and waits for the job's first report.
std::shared_ptr<CDownloadProc> StartWorking(StationFixture& f, int slot) {
    f.view.ComboAddString(1000 + slot, "LOAD_COM" + std::to_string(slot + 10));
    f.view.ComboSetCurSel(1000 + slot, 0);
    f.dlg->OnSlotStateMessage(1020 + slot, kSlotReady);
    f.dlg->StartSlot(slot);
    auto job = f.dlg->m_pDownloadProc[slot];
    EXPECT_TRUE(f.PumpUntil([&] { return f.dlg->m_nSlotState[slot] == kSlotWorking; }));
    // With the status board on, wait for the heartbeat of the job's first line.
    if (f.dlg->m_nDownloadTimeout != 0) {
        EXPECT_TRUE(f.PumpUntil([&] { return f.Board(kBoardLogSection, slot) != "XXXX"; }));
    }
    return job;
}

int CountLines(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(Timer, OverallLimitZeroFailsOnTheFirstTickAndEndsTheTools) {
    StationFixture f("nOverTimeSeconds=0\r\n");
    f.SetPackage();
    f.dlg->m_szLogDir = f.cwd.path();
    auto job = StartWorking(f, 2);
    f.processes.running = {"sahara2", "firehorse2", "firehorse3"};
    f.dlg->OnTimerSlot(2);

    EXPECT_EQ(f.view.Text(1042), "1s");
    EXPECT_EQ(f.dlg->m_nSlotState[2], kSlotFailed);
    EXPECT_EQ(f.view.Text(1022), "Download OverTime!m_nOverTimeSeconds:0");
    EXPECT_FALSE(f.view.TimerRunning(2));
    EXPECT_TRUE(job->IsStopRequested());
    EXPECT_EQ(f.processes.killed, (std::vector<std::string>{"sahara2", "firehorse2"}));
    ASSERT_TRUE(f.PumpUntil([&] { return job->IsDone(); }));
    f.dispatcher.RunPending();
    // Nothing of the job follows the timer's line: no CLOSE, no later text.
    std::string log = ReadFile(job->m_strLogPath);
    const std::string last = "****STATUS_TEXT:\tDownload OverTime!m_nOverTimeSeconds:0\r\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
    EXPECT_EQ(CountLines(log, "CLOSE"), 0);
    EXPECT_EQ(f.view.Text(1022), "Download OverTime!m_nOverTimeSeconds:0");
}

TEST(Timer, ALaterStartChangesTheLimitForRunningSlots) {
    StationFixture f("nOverTimeSeconds=3600\r\n");
    f.SetPackage();
    auto job0 = StartWorking(f, 0);
    for (int i = 0; i < 5; ++i) f.dlg->OnTimerSlot(0);
    f.Settings("nOverTimeSeconds=5\r\n");
    StartWorking(f, 1);
    EXPECT_EQ(f.dlg->m_nSlotState[0], kSlotWorking);
    f.dlg->OnTimerSlot(0);  // 6 > 5
    EXPECT_EQ(f.dlg->m_nSlotState[0], kSlotFailed);
    EXPECT_EQ(f.view.Text(1020), "Download OverTime!m_nOverTimeSeconds:5");
}

TEST(Timer, StallCheckOnlyWhileTheLoaderStageRuns) {
    StationFixture f;
    f.SetPackage();
    f.dlg->m_nDownloadTimeout = 20;
    f.dlg->m_szLogDir = f.cwd.path();
    auto job = StartWorking(f, 4);
    const std::string key = StatusBoardKey(4);
    auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) f.dlg->OnTimerSlot(4);
    };
    // Not in the loader stage: the board's log value is not even remembered.
    f.profile.WriteString(kStatusBoardPath, kBoardProcSection, key, kBoardDownloadEnd);
    tick(20);
    EXPECT_EQ(f.dlg->m_strLastLinesLog[4], "");
    // In the loader stage: the first sample differs from the remembered one...
    f.profile.WriteString(kStatusBoardPath, kBoardProcSection, key, kBoardDownloadStart);
    const std::string heartbeat = f.Board(kBoardLogSection, 4);
    tick(20);
    EXPECT_EQ(f.dlg->m_strLastLinesLog[4], heartbeat);
    EXPECT_EQ(f.dlg->m_nSlotState[4], kSlotWorking);
    // ...activity in between keeps it going...
    f.profile.WriteString(kStatusBoardPath, kBoardLogSection, key, "t1:Dload Process is running");
    tick(20);
    EXPECT_EQ(f.dlg->m_nSlotState[4], kSlotWorking);
    // ...and an unchanged value stops the job and its tools.
    f.processes.running = {"firehorse4"};
    tick(19);
    EXPECT_EQ(f.dlg->m_nSlotState[4], kSlotWorking);
    tick(1);
    EXPECT_EQ(f.dlg->m_nSlotState[4], kSlotFailed);
    EXPECT_EQ(f.view.Text(1024), "Download protocal timeout.");
    EXPECT_EQ(f.processes.killed, (std::vector<std::string>{"firehorse4"}));
    EXPECT_TRUE(job->IsStopRequested());
}

TEST(Timer, BothLimitsOnOneTickGiveTwoReports) {
    StationFixture f("nOverTimeSeconds=19\r\n");
    f.SetPackage();
    f.dlg->m_nDownloadTimeout = 20;
    f.dlg->m_szLogDir = f.cwd.path();
    auto job = StartWorking(f, 6);
    f.profile.WriteString(kStatusBoardPath, kBoardProcSection, "Lin6 ", kBoardDownloadStart);
    f.dlg->m_strLastLinesLog[6] = f.Board(kBoardLogSection, 6);
    for (int i = 0; i < 20; ++i) f.dlg->OnTimerSlot(6);
    std::string log = ReadFile(job->m_strLogPath);
    EXPECT_EQ(CountLines(log, "Download OverTime!m_nOverTimeSeconds:19"), 1);
    EXPECT_EQ(CountLines(log, "Download protocal timeout."), 1);
    EXPECT_LT(log.find("OverTime"), log.find("protocal"));
    EXPECT_EQ(f.view.Text(1026), "Download protocal timeout.");
}
