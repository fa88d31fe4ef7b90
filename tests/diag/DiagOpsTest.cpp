#include <gtest/gtest.h>

#include <filesystem>

#include "JobFixture.h"
#include "ScriptedQmsl.h"
#include "diag/DiagConnection.h"
#include "diag/QcnOperation.h"
#include "job/JobOwner.h"
#include "job/JobTable.h"

using namespace gf;
using namespace gf::test;

namespace {

using Strings = std::vector<std::string>;
using States = std::vector<std::pair<int, int>>;

// A DIAG job on COM12 in slot 0 with a scripted diag library.
struct DiagJob {
    JobFixture f;
    ScriptedQmsl qmsl;
    std::shared_ptr<CDownloadProc> job;

    explicit DiagJob(const ScriptedQmsl::Script& script = {}) {
        qmsl.SetScript(script);
        f.services.qmsl = qmsl.Table();
        job = f.MakeJob(0);
        job->m_nPort = 12;
        job->m_nPortType = 1;
        job->m_strQcnPath = QcnPath(12);
    }
    void Run(std::function<void(CDownloadProc&)> body) {
        job->m_procedureOverride = std::move(body);
        f.RunToEnd(job);
    }
    Strings Texts() const { return f.owner.view.TextHistory(kStatusId); }
    States StateMessages() const { return f.owner.States(); }
};

const Strings kConnectCalls = {"SetLibraryMode 0", "SetTargetType 0", "ConnectServer 12",
                               "ConfigureEfs2CallBacks h1", "GetLibraryCapabilities"};

Strings Concat(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(ConnectDiag, AnswerAtThirdPollSleepsTwiceAndStoresTheHandle) {
    ScriptedQmsl::Script s;
    s.answerAtPoll = 3;
    DiagJob d(s);
    bool result = false;
    QmslHandle inTable = nullptr, held = nullptr;
    d.Run([&](CDownloadProc& j) {
        result = ConnectDiag(j);
        inTable = g_JobTable[0].hQmsl.load();
        held = j.m_hQmsl;
    });
    EXPECT_TRUE(result);
    EXPECT_EQ(d.qmsl.Calls(), Concat(kConnectCalls, {"IsPhoneConnected h1", "IsPhoneConnected h1",
                                                     "IsPhoneConnected h1", "StopLogging h1",
                                                     "DisconnectServer h1"}));
    EXPECT_EQ(d.f.clock.Sleeps(), (std::vector<unsigned>{200, 200}));
    EXPECT_EQ(d.Texts(), (Strings{"ConnectServer: OK", "IsPhoneConnected: TRUE"}));
    EXPECT_EQ(d.StateMessages(), (States{{kStatusId, 3}, {kStatusId, 3}}));
    EXPECT_NE(inTable, nullptr);
    EXPECT_EQ(inTable, held);
}

TEST(ConnectDiag, SecondConnectClosesTheFirstHandle) {
    DiagJob d;
    Strings open;
    d.Run([&](CDownloadProc& j) {
        ConnectDiag(j);
        ConnectDiag(j);
        open = d.qmsl.OpenHandles();
    });
    EXPECT_EQ(d.qmsl.Calls(),
              Concat(kConnectCalls,
                     {"IsPhoneConnected h1", "StopLogging h1", "DisconnectServer h1",
                      "SetLibraryMode 0", "SetTargetType 0", "ConnectServer 12",
                      "ConfigureEfs2CallBacks h2", "GetLibraryCapabilities", "IsPhoneConnected h2",
                      // the end of the job lets go of the second
                      "StopLogging h2", "DisconnectServer h2"}));
    EXPECT_TRUE(d.qmsl.Misuses().empty());
    EXPECT_EQ(open, Strings{"h2"});
}

TEST(ConnectDiag, FailuresPollFiveTimesAndReportPortAndType) {
    struct Case {
        const char* name;
        bool handle;
        Strings texts;
        States states;
        Strings open;
    } cases[] = {
        {"no handle",
         false,
         {"ConnectServer: FAIL", "IsPhoneConnected: FALSE,PortNum:12 PortType:1"},
         {{kStatusId, 0}, {kStatusId, 0}},
         {}},
        {"silent device",
         true,
         {"ConnectServer: OK", "IsPhoneConnected: FALSE,PortNum:12 PortType:1"},
         {{kStatusId, 3}, {kStatusId, 0}},
         {"h1"}},
    };
    for (const auto& c : cases) {
        ScriptedQmsl::Script s;
        s.connectGivesHandle = c.handle;
        s.answerAtPoll = 0;
        DiagJob d(s);
        bool result = true;
        Strings open;
        bool holds = false;
        d.Run([&](CDownloadProc& j) {
            result = ConnectDiag(j);
            open = d.qmsl.OpenHandles();
            holds = j.m_hQmsl != nullptr;
        });
        EXPECT_FALSE(result) << c.name;
        EXPECT_EQ(d.qmsl.CountOf("IsPhoneConnected"), 5) << c.name;
        EXPECT_EQ(d.f.clock.TotalSleptMs(), 1000u) << c.name;
        EXPECT_EQ(d.Texts(), c.texts) << c.name;
        EXPECT_EQ(d.StateMessages(), c.states) << c.name;
        // The handle of a silent device stays with the job until the job ends.
        EXPECT_EQ(open, c.open) << c.name;
        EXPECT_EQ(holds, c.handle) << c.name;
        EXPECT_TRUE(d.qmsl.OpenHandles().empty()) << c.name;
        EXPECT_TRUE(d.qmsl.Misuses().empty()) << c.name;
    }
}

TEST(ConnectDiag, WithoutALoadedLibraryFailsLikeAnUnopenablePort) {
    DiagJob d;
    d.job->m_services.qmsl = nullptr;
    bool result = true;
    d.Run([&](CDownloadProc& j) { result = RunQcnOperation(j, kQcnBackup); });
    EXPECT_FALSE(result);
    EXPECT_EQ(d.Texts(),
              (Strings{"ConnectServer: FAIL", "IsPhoneConnected: FALSE,PortNum:12 PortType:1"}));
    EXPECT_TRUE(d.qmsl.Calls().empty());
}

TEST(SwitchToEDL, DisconnectsAndWaitsFourSecondsWhetherAcceptedOrRefused) {
    for (bool accepted : {true, false}) {
        ScriptedQmsl::Script s;
        s.switchAccepted = accepted;
        DiagJob d(s);
        bool result = !accepted;
        d.Run([&](CDownloadProc& j) { result = SwitchToEDL(j); });
        EXPECT_EQ(result, accepted);
        EXPECT_EQ(d.qmsl.Calls(), Concat(kConnectCalls, {"IsPhoneConnected h1", "SwitchToEDL h1",
                                                         "DisconnectServer h1"}));
        EXPECT_EQ(d.job->m_hQmsl, nullptr);
        EXPECT_EQ(d.f.clock.Sleeps(), std::vector<unsigned>{4000});
        if (accepted) {
            // State 5: text and log only, no state message.
            EXPECT_EQ(d.Texts().back(), "Switch To EDL: OK");
            EXPECT_EQ(d.StateMessages(), (States{{kStatusId, 3}, {kStatusId, 3}}));
        } else {
            EXPECT_EQ(d.Texts().back(), "QLIB_QPHONEMS_SwitchToEDL: FAIL");
            EXPECT_EQ(d.StateMessages().back(), std::make_pair(kStatusId, 0));
        }
    }
}

TEST(SwitchToEDL, NoAnswerEndsBeforeTheSwitchAndKeepsTheHandle) {
    ScriptedQmsl::Script s;
    s.answerAtPoll = 0;
    DiagJob d(s);
    bool result = true;
    bool holds = false;
    d.Run([&](CDownloadProc& j) {
        result = SwitchToEDL(j);
        holds = j.m_hQmsl != nullptr;
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(d.qmsl.CountOf("SwitchToEDL"), 0);
    EXPECT_EQ(d.f.clock.TotalSleptMs(), 1000u);  // the polls only, no 4 s wait
    EXPECT_TRUE(holds);
}

namespace {

const Strings kSpcOk = {"ConnectServer: OK",       "IsPhoneConnected: TRUE",
                        "Send default SPC 418276", "Command Status: OK",
                        "SPC Status: OK",          "Set Target Support Multi SIM"};

}  // namespace

TEST(RunQcnOperation, BackupWritesTheFileAndLogsTheTransfer) {
    DiagJob d;
    bool result = false;
    Strings open;
    d.Run([&](CDownloadProc& j) {
        result = RunQcnOperation(j, kQcnBackup);
        open = d.qmsl.OpenHandles();
    });
    EXPECT_TRUE(result);
    EXPECT_EQ(d.Texts(), Concat(kSpcOk, {"Backuping QCN...", "Backup NV To QCN.....",
                                         "Backuping QCN successfully"}));
    EXPECT_EQ(ReadFile("Log/ORVA_Gangflash_COM12.qcn"), "scripted qcn\n");
    EXPECT_EQ(d.qmsl.CountOf("DIAG_SPC_F h1 418276"), 1);
    EXPECT_EQ(d.qmsl.CountOf("NV_SetTargetSupportMultiSIM h1 1"), 1);
    // The transfer callback registered with the connection reached this job's log.
    EXPECT_NE(ReadFile(d.job->m_strLogPath).find("DST Name: Log/ORVA_Gangflash_COM12.qcn"),
              std::string::npos);
    // The connection stays open for the caller.
    EXPECT_EQ(open, Strings{"h1"});
}

TEST(RunQcnOperation, RefusedCodeGoesOnButUnexchangedCommandStops) {
    {
        ScriptedQmsl::Script s;
        s.spcAccepted = false;
        DiagJob d(s);
        bool result = false;
        d.Run([&](CDownloadProc& j) { result = RunQcnOperation(j, kQcnBackup); });
        EXPECT_TRUE(result);
        Strings texts = d.Texts();
        EXPECT_EQ(texts[3], "Command Status: OK");
        EXPECT_EQ(texts[4], "SPC Status: FAIL");
        EXPECT_EQ(texts.back(), "Backuping QCN successfully");
        for (const auto& [id, state] : d.StateMessages()) EXPECT_EQ(state, 3);
    }
    {
        ScriptedQmsl::Script s;
        s.spcExchanged = false;
        DiagJob d(s);
        bool result = true;
        d.Run([&](CDownloadProc& j) { result = RunQcnOperation(j, kQcnBackup); });
        EXPECT_FALSE(result);
        EXPECT_EQ(d.Texts(),
                  (Strings{"ConnectServer: OK", "IsPhoneConnected: TRUE", "Send default SPC 418276",
                           "Command Status: FAIL", "SPC Status: FAIL"}));
        EXPECT_EQ(
            d.StateMessages(),
            (States{
                {kStatusId, 3}, {kStatusId, 3}, {kStatusId, 3}, {kStatusId, 0}, {kStatusId, 0}}));
        EXPECT_EQ(d.qmsl.CountOf("NV_SetTargetSupportMultiSIM"), 0);
    }
}

TEST(RunQcnOperation, FailuresEndWithTheirLineAndKeepTheQcnFile) {
    struct Case {
        const char* name;
        int mode;
        ScriptedQmsl::Script script;
        std::string last;
    };
    auto with = [](auto change) {
        ScriptedQmsl::Script s;
        change(s);
        return s;
    };
    Case cases[] = {
        {"multi-SIM", kQcnRestore, with([](auto& s) { s.multiSimOk = false; }),
         "Set Target Support MultiSIM failed"},
        {"backup", kQcnBackup, with([](auto& s) {
             s.backupOk = false;
             s.backupCode = -7;
         }),
         "Failed Backup NV To QCN, ResultCode = -7"},
        {"backup, code not set", kQcnBackup, with([](auto& s) { s.backupOk = false; }),
         "Failed Backup NV To QCN, ResultCode = 0"},
        {"load", kQcnRestore, with([](auto& s) {
             s.loadOk = false;
             s.loadCode = 3;
         }),
         "Failed Load NVs From QCN, ResultCode = 3"},
        {"write", kQcnRestore, with([](auto& s) {
             s.writeOk = false;
             s.writeCode = 12;
         }),
         "Failed Write NVs To Mobile, ResultCode = 12"},
    };
    for (const auto& c : cases) {
        DiagJob d(c.script);
        WriteFile("Log/ORVA_Gangflash_COM12.qcn", "kept");
        bool result = true;
        d.Run([&](CDownloadProc& j) { result = RunQcnOperation(j, c.mode); });
        EXPECT_FALSE(result) << c.name;
        EXPECT_EQ(d.Texts().back(), c.last) << c.name;
        EXPECT_EQ(d.StateMessages().back(), std::make_pair(kStatusId, 0)) << c.name;
        EXPECT_TRUE(FileExists("Log/ORVA_Gangflash_COM12.qcn")) << c.name;
    }
}

TEST(RunQcnOperation, RestoreLoadsWritesAndRemovesTheFile) {
    DiagJob d;
    WriteFile("Log/ORVA_Gangflash_COM12.qcn", "saved items");
    bool result = false;
    d.Run([&](CDownloadProc& j) { result = RunQcnOperation(j, kQcnRestore); });
    EXPECT_TRUE(result);
    EXPECT_EQ(d.Texts(), Concat(kSpcOk, {"Restore QCN...", "Load NVs From QCN......",
                                         "Write NVs To Mobile......", "Restore QCN successfully"}));
    EXPECT_EQ(d.qmsl.LoadedContent(), "saved items");
    EXPECT_FALSE(FileExists("Log/ORVA_Gangflash_COM12.qcn"));
    EXPECT_EQ(QcnPath(7), "Log/ORVA_Gangflash_COM7.qcn");
}
