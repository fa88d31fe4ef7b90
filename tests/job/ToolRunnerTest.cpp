#include <gtest/gtest.h>

#include "ToolFixture.h"
#include "job/JobOwner.h"

using namespace gf;
using namespace gf::test;

namespace {

constexpr int kSlot = 3;

// Runs firehorse3 playing `script` through RunTool and keeps what it showed.
struct ToolRun {
    bool result = false;
    std::vector<std::string> statuses;  // status texts in order
    std::vector<std::pair<int, int>> states;
    std::vector<std::string> percents;
    std::string log;
    std::vector<unsigned> sleeps;
};

ToolRun RunScript(const std::string& script, const std::string& args = "") {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(kSlot, "firehorse3", script);
    auto job = f.MakeJob(kSlot);
    ToolRun r;
    f.RunInJob(job, [&](CDownloadProc& j) { r.result = j.RunTool(tool + args); });
    r.statuses = f.owner.view.TextHistory(kStatusId + kSlot);
    r.states = f.owner.States();
    r.percents = f.owner.view.TextHistory(kPercentId + kSlot);
    r.log = ReadFile(job->m_strLogPath);
    r.sleeps = f.clock.Sleeps();
    return r;
}

using Texts = std::vector<std::string>;

}  // namespace

TEST(ToolRunner, LinesAreCutAtCarriageReturns) {
    struct Case {
        const char* name;
        std::string script;
        Texts statuses;
    } cases[] = {
        {"final line with a carriage return is examined",
         "out In handleProgram('boot.img')\\r\\nIn handleProgram('sys.img')\\r\\n\n",
         {"boot.img", "sys.img"}},
        {"final line without a carriage return is logged, never examined",
         "out In handleProgram('boot.img')\\r\\nIn handleProgram('sys.img')\n",
         {"boot.img"}},
        {"bare line feeds do not end a line: one line, first marker only",
         "out In handleProgram('a')\\nIn handleProgram('b')\\n\\r\\n\n",
         {"a"}},
        {"a carriage return ending a read ends the line there",
         "out In handleProgram('img\\r\nsleep 300\nout \\n')\\r\\nIn handleProgram('next')\\r\\n\n",
         {"", "next"}},
        {"image name empty when the first ') comes before the marker",
         "out x') In handleProgram('late')\\r\\n\n",
         {""}},
        {"called-like marker is shown as it is",
         "out  FH_LOADER WAS CALLED EXACTLY LIKE THIS: x\\r\\n\n",
         {"FH_LOADER WAS CALLED EXACTLY LIKE THIS"}},
    };
    for (const auto& c : cases) {
        ToolRun r = RunScript(c.script);
        EXPECT_TRUE(r.result) << c.name;
        EXPECT_EQ(r.statuses, c.statuses) << c.name;
    }
}

TEST(ToolRunner, PercentIsTheIntegerBeforeTheFirstDot) {
    ToolRun r = RunScript(
        "out {percent files transferred 45.67%}\\r\\n\n"
        "out {percent files transferred 100%}\\r\\n\n"
        "out v1.0 {percent files transferred 80.0%}\\r\\n\n"
        "out {percent files transferred  -7.1%}\\r\\n\n"
        "out {percent files transferred 12%} of 3.5 GB\\r\\n\n");
    EXPECT_TRUE(r.result);
    // A dot before the marker gives an empty text, as does a line with none.
    EXPECT_EQ(r.percents, (Texts{"45%", "0%", "0%", "-7%", "12%"}));
}

TEST(ToolRunner, EveryPieceIsLoggedRawBeforeStatusLines) {
    ToolRun r = RunScript("out abc\nsleep 30\nout ERROR: bad thing \\r\\nrest\n");
    EXPECT_FALSE(r.result);
    // The tool's bytes come first, then the status line they caused.
    EXPECT_EQ(r.log.substr(0, 3), "abc");
    auto error = r.log.find("ERROR: bad thing \r\nrest");
    ASSERT_NE(error, std::string::npos);
    EXPECT_NE(r.log.find("****STATUS_TEXT:\tbad thing\r\n", error), std::string::npos);
    EXPECT_EQ(r.statuses, (Texts{"bad thing"}));
    EXPECT_EQ(r.states, (std::vector<std::pair<int, int>>{{kStatusId + kSlot, kSlotFailed}}));
}

TEST(ToolRunner, SaharaMarkerEndsTheRunAfter500ms) {
    // The tool goes on running after the marker: the run does not wait for it.
    ToolRun r = RunScript("out Sahara protocol completed\\r\\nERROR: never read\\r\\n\nhang\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.statuses, (Texts{"Sahara protocol completed"}));
    EXPECT_EQ(r.sleeps, (std::vector<unsigned>{500}));
}

TEST(ToolRunner, SaharaMarkerAndErrorOnOneLine) {
    ToolRun r = RunScript("out Sahara protocol completed ERROR: port lost\\r\\n\nhang\n");
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.statuses, (Texts{"Sahara protocol completed", "port lost"}));
    EXPECT_EQ(r.sleeps, (std::vector<unsigned>{500}));
    EXPECT_EQ(r.states, (std::vector<std::pair<int, int>>{{kStatusId + kSlot, kSlotWorking},
                                                          {kStatusId + kSlot, kSlotFailed}}));
}

TEST(ToolRunner, ExitStatusDecidesWhenOutputEnds) {
    struct Case {
        const char* name;
        std::string script;
        bool result;
        Texts statuses;
    } cases[] = {
        {"exit 0 without markers passes", "out hello\\r\\n\n", true, {}},
        {"non-zero exit fails",
         "out hello\\r\\n\nexit 2\n",
         false,
         {"firehorse3 exited with code 2"}},
        {"death by signal fails",
         "out hello\nsignal 9\n",
         false,
         {"firehorse3 killed by signal 9"}},
        {"output closed early, exit status still read",
         "closeout\nsleep 30\nexit 1\n",
         false,
         {"firehorse3 exited with code 1"}},
    };
    for (const auto& c : cases) {
        ToolRun r = RunScript(c.script);
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.statuses, c.statuses) << c.name;
    }
}

TEST(ToolRunner, OverlongLineIsHandedOnWhenTheBufferIsFull) {
    // 259 bytes fill the line buffer (one byte stays for the terminator); the
    // error marker after them starts a line of its own.
    ToolRun r = RunScript("out " + std::string(259, 'a') + "ERROR: tail\\r\\n\n");
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.statuses, (Texts{"tail"}));
    // A marker cut by the buffer's end is not seen; the long line passes.
    ToolRun cut = RunScript("out " + std::string(255, 'a') + "ERROR: cut\\r\\n\n" + "out " +
                            std::string(2000, 'b') + "\\r\\n\n");
    EXPECT_TRUE(cut.result);
    EXPECT_TRUE(cut.statuses.empty());
}

TEST(ToolRunner, MissingToolFailsToStart) {
    ToolJobFixture f;
    auto job = f.MakeJob(kSlot);
    bool result = true;
    f.RunInJob(job, [&](CDownloadProc& j) { result = j.RunTool(f.WorkDir(kSlot) + "firehorse3"); });
    EXPECT_FALSE(result);
    EXPECT_EQ(f.owner.view.TextHistory(kStatusId + kSlot), (Texts{"CreateProcessA End!"}));
}

TEST(ToolRunner, StoppedJobEndsItsReadOfAQuietTool) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(kSlot, "firehorse3", "out started\\r\\n\nhang\n");
    auto job = f.MakeJob(kSlot);
    bool result = true;
    job->m_procedureOverride = [&](CDownloadProc& j) { result = j.RunTool(tool); };
    job->CreateThread();
    ASSERT_TRUE(Eventually(
        [&] { return ReadFile(job->m_strLogPath).find("started") != std::string::npos; }));
    job->RequestStop();
    ASSERT_TRUE(job->WaitDone(std::chrono::seconds(10)));
    EXPECT_FALSE(result);
    EXPECT_TRUE(f.processes.KillProcessByName("firehorse3"));
}
