#include <gtest/gtest.h>

#include <filesystem>

#include "JobFixture.h"
#include "job/JobOwner.h"
#include "job/JobTable.h"
#include "job/StatusBoard.h"

using namespace gf;
using namespace gf::test;

namespace {

const char* kStamp = "2024_05_17_093005";

std::string StatusLine(const std::string& stamp, const std::string& msg) {
    return stamp + " ****STATUS_TEXT:\t" + msg + "\r\n";
}

}  // namespace

TEST(JobReporting, StatusLinesStateMessagesAndCloseLine) {
    JobFixture f;
    auto job = f.MakeJob(3);
    job->m_procedureOverride = [](CDownloadProc& j) {
        j.ShowStatus(kSlotWorking, "Enter DownloadProc Function...");
        j.ShowStatus(kSlotTextOnly, "Switch To EDL: OK");
        j.SetPercent(120);
        j.ShowStatus(kSlotPassed, "PASS");
    };
    f.RunToEnd(job);

    EXPECT_EQ(ReadFile(job->m_strLogPath),
              StatusLine(kStamp, "Enter DownloadProc Function...") +
                  StatusLine(kStamp, "Switch To EDL: OK") + StatusLine(kStamp, "PASS") +
                  StatusLine(kStamp, "CLOSE"));
    // State 5 sends no state message; the texts all reach the status control.
    using P = std::pair<int, int>;
    EXPECT_EQ(f.owner.States(), (std::vector<P>{{1023, 3}, {1023, 1}}));
    EXPECT_EQ(f.owner.view.TextHistory(1023),
              (std::vector<std::string>{"Enter DownloadProc Function...", "Switch To EDL: OK",
                                        "PASS"}));
    EXPECT_EQ(f.owner.view.Text(1055), "120%");
    EXPECT_EQ(f.owner.view.Progress(1013), 120);
    // The job has left the table after a normal end.
    EXPECT_EQ(g_JobTable[3].pJob.load(), nullptr);
    EXPECT_EQ(g_JobTable[3].hQmsl.load(), nullptr);
}

TEST(JobReporting, SameLogNameWithinASecondAppends) {
    JobFixture f;
    auto first = f.MakeJob(0, "ORVA_Gangflash_LOAD_COM12(2024_05_17_093005).log");
    first->m_procedureOverride = [](CDownloadProc& j) { j.ShowStatus(kSlotFailed, "first"); };
    f.RunToEnd(first);
    auto second = f.MakeJob(0, "ORVA_Gangflash_LOAD_COM12(2024_05_17_093005).log");
    second->m_procedureOverride = [](CDownloadProc& j) { j.ShowStatus(kSlotPassed, "second"); };
    f.RunToEnd(second);
    EXPECT_EQ(ReadFile(first->m_strLogPath), StatusLine(kStamp, "first") +
                                                 StatusLine(kStamp, "CLOSE") +
                                                 StatusLine(kStamp, "second") +
                                                 StatusLine(kStamp, "CLOSE"));
}

TEST(JobReporting, DisplayRuleDropsOnlyTheSlotsWorkingDirectoryPrefix) {
    JobFixture f;
    auto job = f.MakeJob(3);
    const std::string prefix = job->WorkDir();
    ASSERT_EQ(prefix, f.cwd.path() + "/work/DL3/");
    struct Case {
        std::string message, shown;
    } cases[] = {
        {prefix, prefix},                                  // exactly the prefix: unshortened
        {prefix + "x", "x"},                               // one more: only the last character
        {prefix + "sahara3 -p /dev/ttyUSB0", "sahara3 -p /dev/ttyUSB0"},
        {"run " + prefix + "sahara3", "run " + prefix + "sahara3"},  // not at the start
        {f.cwd.path() + "/work/DL4/firehorse4", f.cwd.path() + "/work/DL4/firehorse4"},
    };
    for (const auto& c : cases) EXPECT_EQ(job->DisplayText(c.message), c.shown) << c.message;
}

TEST(JobReporting, HeartbeatOnlyWithDownloadTimeoutAndNonEmptyWrite) {
    JobFixture f;
    // Timeout 0: nothing touches the status board.
    auto quiet = f.MakeJob(2);
    quiet->m_procedureOverride = [](CDownloadProc& j) {
        j.ShowStatus(kSlotWorking, "x");
        j.WriteBoard(kBoardProcSection, kBoardDownloadStart);
    };
    f.RunToEnd(quiet);
    EXPECT_FALSE(FileExists(kStatusBoardPath));

    auto job = f.MakeJob(5);
    job->m_nDownloadTimeout = 20;
    bool emptyWrite = true, writeAfter = true;
    std::string afterEmpty;
    job->m_procedureOverride = [&](CDownloadProc& j) {
        f.profile.WriteString(kStatusBoardPath, kBoardLogSection, StatusBoardKey(5), "XXXX");
        emptyWrite = j.WriteLog("", 0);
        afterEmpty = f.Board(kBoardLogSection, 5);
        f.clock.Advance(std::chrono::seconds(2));
        writeAfter = j.WriteLog("data", 4);
    };
    f.RunToEnd(job);
    EXPECT_TRUE(emptyWrite);
    EXPECT_EQ(afterEmpty, "XXXX");  // a write of 0 bytes leaves the heartbeat alone
    EXPECT_TRUE(writeAfter);
    // The key carries its trailing blank; the reader's key agrees with the writer's.
    EXPECT_EQ(StatusBoardKey(5), "Lin5 ");
    EXPECT_EQ(f.Board(kBoardLogSection, 5), "2024_05_17_093007:Dload Process is running");
}

TEST(JobReporting, UnopenableLogIsNamedOnceAndTheJobRunsOn) {
    JobFixture f;
    auto job = f.MakeJob(1);
    job->m_strLogPath = f.cwd.path() + "/NoSuchDir/x.log";
    job->m_nDownloadTimeout = 20;
    bool wrote = true;
    job->m_procedureOverride = [&](CDownloadProc& j) {
        wrote = j.WriteLog("abc", 3);
        j.ShowStatus(kSlotPassed, "PASS");
    };
    f.RunToEnd(job);
    EXPECT_FALSE(wrote);
    auto texts = f.owner.view.TextHistory(1021);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Can not open log file " + job->m_strLogPath);
    EXPECT_EQ(texts[1], "PASS");
    EXPECT_FALSE(FileExists(kStatusBoardPath));  // no heartbeat without a log
}

TEST(JobReporting, NewPortMessageCarriesComText) {
    JobFixture f;
    auto job = f.MakeJob(6);
    job->m_procedureOverride = [](CDownloadProc& j) { j.ReportNewPort(17); };
    f.RunToEnd(job);
    using P = std::pair<int, std::string>;
    EXPECT_EQ(f.owner.Ports(), (std::vector<P>{{6, "COM17"}}));
}

TEST(JobReporting, StoppedJobReportsAndLogsNothingAfterTheTimersLine) {
    JobFixture f;
    auto job = f.MakeJob(4);
    std::atomic<bool> reached{false};
    job->m_procedureOverride = [&](CDownloadProc& j) {
        j.ShowStatus(kSlotWorking, "before");
        reached = true;
        while (!j.IsStopRequested()) std::this_thread::yield();
        j.ShowStatus(kSlotPassed, "after");
        j.SetPercent(100);
    };
    job->CreateThread();
    while (!reached) f.owner.dispatcher.WaitAndRun(std::chrono::milliseconds(1));
    job->RequestStop();
    job->WriteTimerLog(StatusLine(kStamp, "Download OverTime!m_nOverTimeSeconds:0"));
    while (!job->IsDone()) f.owner.dispatcher.WaitAndRun(std::chrono::milliseconds(1));
    f.owner.dispatcher.RunPending();

    EXPECT_EQ(ReadFile(job->m_strLogPath),
              StatusLine(kStamp, "before") +
                  StatusLine(kStamp, "Download OverTime!m_nOverTimeSeconds:0"));
    EXPECT_EQ(f.owner.view.TextHistory(1024), (std::vector<std::string>{"before"}));
    EXPECT_EQ(f.owner.States().size(), 1u);
    EXPECT_EQ(f.owner.view.Text(1056), "");
}

TEST(JobTable, TransferRecordIsByteExactAndFansOutToEveryMatchingJob) {
    JobFixture f;
    const std::string expected =
        "--------2024_05_17_093005---------\n"
        "         SRC Name: /nv/item_files/a\n"
        "         DST Name: C:\\x\\a\n"
        "        Operation: 2\n"
        "       Sub Option: -1\n"
        "Bytes Transferred: 512\n"
        "        File Size: 1024\n"
        "          Context: 77\n";
    auto handle = reinterpret_cast<QmslHandle>(77);
    EXPECT_EQ(FormatTransferRecord(kStamp, "/nv/item_files/a", "C:\\x\\a", 2, -1, 512, 1024,
                                   handle),
              expected);

    auto a = f.MakeJob(1, "a.log");
    auto b = f.MakeJob(2, "b.log");
    auto c = f.MakeJob(3, "c.log");
    for (auto* j : {a.get(), b.get(), c.get()}) {
        ASSERT_TRUE(j->InitInstance());
        ASSERT_TRUE(j->m_fileLog.Open(j->m_strLogPath));
    }
    g_JobTable[1].hQmsl = handle;
    g_JobTable[2].hQmsl = handle;
    g_JobTable[3].hQmsl = reinterpret_cast<QmslHandle>(5);
    EXPECT_TRUE(EfsFileCallback("/nv/item_files/a", "C:\\x\\a", 2, -1, 512, 1024, handle));
    EXPECT_TRUE(EfsFileCallback("x", "y", 0, 0, 0, 0, reinterpret_cast<QmslHandle>(9)));
    EXPECT_TRUE(EfsDirCallback("d", 0, handle));
    EXPECT_EQ(ReadFile(a->m_strLogPath), expected);
    EXPECT_EQ(ReadFile(b->m_strLogPath), expected);
    EXPECT_EQ(ReadFile(c->m_strLogPath), "");
    for (auto* j : {a.get(), b.get(), c.get()}) j->ExitInstance();
    // After the end the old handle finds nobody.
    EXPECT_TRUE(EfsFileCallback("x", "y", 0, 0, 0, 0, handle));
    EXPECT_EQ(ReadFile(a->m_strLogPath), expected);
}
