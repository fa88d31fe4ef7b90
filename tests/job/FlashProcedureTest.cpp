#include <gtest/gtest.h>

#include "ToolFixture.h"
#include "job/JobOwner.h"
#include "job/LoaderStage.h"
#include "job/StatusBoard.h"

using namespace gf;
using namespace gf::test;

namespace {

using Texts = std::vector<std::string>;

const char* kOpts = " --noprompt --showpercentagecomplete --zlpawarehost=1 --memoryname=eMMC";

const std::string kSaharaOk = "out Sahara protocol completed\\r\\n\nhang\n";
const std::string kFirehoseOk =
    "run 0\n"
    "out FH_LOADER WAS CALLED EXACTLY LIKE THIS\\r\\nIn handleProgram('boot.img')\\r\\n\n"
    "out {percent files transferred 50.00%}\\r\\n\n"
    "run 1\n"
    "out {percent files transferred 98.1%}\\r\\n\n";

// A download-port job for `slot` on COM12 with both tools installed.
std::shared_ptr<CDownloadProc> MakeLoadJob(ToolJobFixture& f, int slot,
                                           const std::string& firehose = kFirehoseOk) {
    f.InstallTool(slot, "sahara" + std::to_string(slot), kSaharaOk);
    f.InstallTool(slot, "firehorse" + std::to_string(slot), firehose);
    auto job = f.MakeJob(slot, "slot" + std::to_string(slot) + ".log");
    job->m_nPort = 12;
    job->m_nPortType = 2;
    job->m_nDownloadTimeout = 20;
    job->m_strPackageDir = "/pkg/";
    job->m_strProgrammer = "/pkg/prog_emmc.mbn";
    job->m_strRawProgram = "rawprogram0.xml";
    job->m_strPatch = "patch0.xml";
    return job;
}

}  // namespace

TEST(LoaderCommands, VariantsOfEraseAndReset) {
    LoaderInputs in;
    in.saharaPath = "/w/DL3/sahara3";
    in.firehosePath = "/w/DL3/firehorse3";
    in.portName = R"(\\.\COM15)";
    in.programmer = "/pkg/prog_emmc.mbn";
    in.rawProgram = "rawprogram0.xml";
    in.patch = "patch0.xml";
    in.packageDir = "/pkg/";
    const std::string fh = "/w/DL3/firehorse3";
    const std::string port = R"(--port=\\.\COM15)";
    const std::string raw = " --sendxml=rawprogram0.xml --search_path=/pkg/";

    auto plain = BuildLoaderCommands(in);
    EXPECT_EQ(plain.sahara, R"(/w/DL3/sahara3 -p \\.\COM15 -s 13:/pkg/prog_emmc.mbn)");
    EXPECT_EQ(plain.rawProgram, fh + " " + port + raw + kOpts);
    EXPECT_EQ(plain.patch, fh + " " + port + " --sendxml=patch0.xml --search_path=/pkg/" + kOpts);
    EXPECT_EQ(plain.activate, fh + " " + port + kOpts + " --setactivepartition=0");

    in.erase = true;
    in.reset = true;
    auto both = BuildLoaderCommands(in);
    EXPECT_EQ(both.rawProgram, fh + "  " + port + raw + kOpts + " --wipefirst");  // two blanks
    EXPECT_EQ(both.patch, plain.patch);
    EXPECT_EQ(both.activate, plain.activate + " --reset");

    // Values with a blank are quoted as whole arguments.
    in.packageDir = "/my pkg/";
    in.programmer = "/my pkg/prog.mbn";
    auto blank = BuildLoaderCommands(in);
    EXPECT_EQ(blank.sahara, R"(/w/DL3/sahara3 -p \\.\COM15 -s "13:/my pkg/prog.mbn")");
    EXPECT_EQ(blank.patch,
              fh + " " + port + R"( --sendxml=patch0.xml "--search_path=/my pkg/")" + kOpts);
}

TEST(FlashProcedure, DownloadPortJobPasses) {
    ToolJobFixture f;
    FixedDevices devices;
    DeviceNode node;
    node.isComPort = true;
    node.comNumber = 12;
    node.devicePath = "/dev/ttyUSB7";
    devices.nodes.push_back(node);
    f.services.devices = &devices;
    auto job = MakeLoadJob(f, 3);
    job->m_strPackageDir = f.cwd.path() + "/my pkg/";
    job->m_strProgrammer = f.cwd.path() + "/my pkg/prog_emmc.mbn";
    job->m_bErase = 1;
    f.RunToEnd(job);

    const std::string pkg = f.cwd.path() + "/my pkg/";
    const std::string fhCmd = "firehorse3 --port=/dev/ttyUSB7";
    EXPECT_EQ(
        f.owner.view.TextHistory(kStatusId + 3),
        (Texts{"Enter DownloadProc Function...",
               "sahara3 -p /dev/ttyUSB7 -s \"13:" + pkg + "prog_emmc.mbn\"",
               "Sahara protocol completed",
               "firehorse3  --port=/dev/ttyUSB7 --sendxml=rawprogram0.xml \"--search_path=" + pkg +
                   "\"" + kOpts + " --wipefirst",
               "FH_LOADER WAS CALLED EXACTLY LIKE THIS", "boot.img",
               fhCmd + " --sendxml=patch0.xml \"--search_path=" + pkg + "\"" + kOpts,
               fhCmd + kOpts + " --setactivepartition=0", "Download files successfully.", "PASS"}));
    auto states = f.owner.States();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), (std::pair<int, int>{kStatusId + 3, kSlotPassed}));
    // 100% follows PASS though the tools stopped at 98%.
    EXPECT_EQ(f.owner.view.TextHistory(kPercentId + 3), (Texts{"0%", "50%", "98%", "100%"}));
    EXPECT_EQ(f.owner.view.Progress(kProgressId + 3), 100);
    EXPECT_EQ(f.Board(kBoardProcSection, 3), kBoardDownloadEnd);
    EXPECT_TRUE(f.owner.Ports().empty());

    // The blanks did not split the arguments.
    auto sahara = f.Runs(3, "sahara3");
    ASSERT_EQ(sahara.size(), 1u);
    EXPECT_EQ(ArgsOf(sahara[0]), "[-p] [/dev/ttyUSB7] [-s] [13:" + pkg + "prog_emmc.mbn]");
    auto fh = f.Runs(3, "firehorse3");
    ASSERT_EQ(fh.size(), 3u);
    EXPECT_NE(ArgsOf(fh[1]).find("[--search_path=" + pkg + "]"), std::string::npos);
    // The Sahara tool, still running after its marker, was killed and reaped.
    const int saharaPid = PidOf(sahara[0]);
    EXPECT_TRUE(Eventually([&] { return !ProcessExists(saharaPid); }));
    EXPECT_FALSE(f.processes.IsProcessRunning("sahara3"));
}

TEST(FlashProcedure, FailingPatchRunSkipsTheRest) {
    ToolJobFixture f;
    auto job = MakeLoadJob(f, 5, "run 1\nout ERROR: patch rejected\\r\\n\nhang\n");
    f.RunToEnd(job);

    auto statuses = f.owner.view.TextHistory(kStatusId + 5);
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses.back(), "patch rejected");
    EXPECT_EQ(f.owner.States().back(), (std::pair<int, int>{kStatusId + 5, kSlotFailed}));
    for (const auto& s : statuses) {
        EXPECT_NE(s, "PASS");
        EXPECT_NE(s, "Download files successfully.");
    }
    // The activation run never started; the failed run's tool was killed.
    auto runs = f.Runs(5, "firehorse5");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(Eventually([&] { return !ProcessExists(PidOf(runs[1])); }));
    // Without a device tree the port is named the Windows way.
    EXPECT_EQ(ArgsOf(runs[0]).substr(0, 18), R"([--port=\\.\COM12])");
    EXPECT_EQ(f.Board(kBoardProcSection, 5), kBoardDownloadStart);
}

TEST(FlashProcedure, NoBoardWritesWithoutTimeout) {
    ToolJobFixture f;
    auto job = MakeLoadJob(f, 1);
    job->m_nDownloadTimeout = 0;
    f.RunToEnd(job);
    EXPECT_EQ(f.owner.view.TextHistory(kStatusId + 1).back(), "PASS");
    EXPECT_EQ(f.Board(kBoardProcSection, 1), "<none>");
    EXPECT_EQ(f.Board(kBoardLogSection, 1), "<none>");
}

TEST(FlashProcedure, EightJobsInParallelEachSeeTheirOwnToolsEnd) {
    ToolJobFixture f;
    std::vector<std::shared_ptr<CDownloadProc>> jobs;
    for (int slot = 0; slot < 8; ++slot) {
        // Slot 7's fh_loader never ends: had any pipe leaked into it, the
        // other slots would wait for its end forever.
        jobs.push_back(MakeLoadJob(f, slot, slot == 7 ? "out quiet\\r\\n\nhang\n" : kFirehoseOk));
    }
    for (auto& job : jobs) job->CreateThread();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto othersDone = [&] {
        for (int slot = 0; slot < 7; ++slot) {
            if (!jobs[slot]->IsDone()) return false;
        }
        return true;
    };
    while (!othersDone() && std::chrono::steady_clock::now() < deadline) {
        f.owner.dispatcher.WaitAndRun(std::chrono::milliseconds(5));
    }
    f.owner.dispatcher.RunPending();
    ASSERT_TRUE(othersDone());
    EXPECT_FALSE(jobs[7]->IsDone());
    for (int slot = 0; slot < 7; ++slot) {
        EXPECT_EQ(f.owner.view.TextHistory(kStatusId + slot).back(), "PASS") << slot;
        EXPECT_EQ(f.Runs(slot, "firehorse" + std::to_string(slot)).size(), 3u) << slot;
    }
    // The supervision timer's stop ends slot 7's quiet read; its tools go too.
    jobs[7]->RequestStop();
    while (!jobs[7]->IsDone() && std::chrono::steady_clock::now() < deadline) {
        f.owner.dispatcher.WaitAndRun(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(jobs[7]->IsDone());
    // Killed by name at the end of the stage; death itself is asynchronous.
    EXPECT_TRUE(Eventually([&] {
        return !f.processes.IsProcessRunning("firehorse7") &&
               !f.processes.IsProcessRunning("sahara7");
    }));
}
