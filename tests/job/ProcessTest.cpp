#include <gtest/gtest.h>
#include <signal.h>

#include "ToolFixture.h"
#include "platform/StopSignal.h"

using namespace gf;
using namespace gf::test;

namespace {

// Reads everything the tool prints.
std::string ReadAll(IToolProcess& p) {
    std::string out;
    char buf[260];
    for (long n; (n = p.Read(buf, sizeof buf, nullptr)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

struct Started {
    std::unique_ptr<IToolProcess> process;
    std::string error;
    bool pipeFailed = true;
};

Started Start(ProcessLauncher& launcher, const std::string& line, const std::string& dir) {
    Started s;
    s.process = launcher.Start(line, dir, s.error, s.pipeFailed);
    return s;
}

}  // namespace

TEST(ProcessLauncher, RunsInTheWorkDirWithSplitArgumentsAndMergedOutput) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(2, "firehorse2",
                                           "out to stdout\\r\\n\n"
                                           "sleep 5\n"
                                           "out more\\r\\n\n"
                                           "exit 3\n");
    // The working directory is where the tool finds its script and writes its
    // arguments; a quoted argument with a blank arrives whole.
    auto s =
        Start(f.launcher, tool + " --port=\\\\.\\COM9 \"--search_path=/a b/\" x", f.WorkDir(2));
    ASSERT_TRUE(s.process) << s.error;
    EXPECT_EQ(ReadAll(*s.process), "to stdout\r\nmore\r\n");
    ExitStatus st;
    ASSERT_TRUE(s.process->Wait(st, nullptr));
    EXPECT_TRUE(st.exited);
    EXPECT_EQ(st.code, 3);
    auto runs = f.Runs(2, "firehorse2");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(ArgsOf(runs[0]), R"([--port=\\.\COM9] [--search_path=/a b/] [x])");
}

TEST(ProcessLauncher, ReportsSignalDeathAndMissingProgram) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(0, "sahara0", "out x\nsignal 9\n");
    auto s = Start(f.launcher, tool, f.WorkDir(0));
    ASSERT_TRUE(s.process);
    EXPECT_EQ(ReadAll(*s.process), "x");
    ExitStatus st;
    ASSERT_TRUE(s.process->Wait(st, nullptr));
    EXPECT_TRUE(st.signaled);
    EXPECT_EQ(st.signal, SIGKILL);

    auto missing = Start(f.launcher, f.WorkDir(0) + "nosuchtool -p x", f.WorkDir(0));
    EXPECT_FALSE(missing.process);
    EXPECT_FALSE(missing.pipeFailed);
    EXPECT_NE(missing.error.find("nosuchtool"), std::string::npos);
}

TEST(ProcessLauncher, StopEndsAReadAndAWaitOnAQuietTool) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(1, "firehorse1", "hang\n");
    auto s = Start(f.launcher, tool, f.WorkDir(1));
    ASSERT_TRUE(s.process);
    StopSignal stop;
    std::thread stopper([&] { stop.Request(); });
    char buf[260];
    EXPECT_EQ(s.process->Read(buf, sizeof buf, &stop), -1);
    ExitStatus st;
    EXPECT_FALSE(s.process->Wait(st, &stop));
    stopper.join();
    const int pid = s.process->Pid();
    ::kill(pid, SIGKILL);
    // Dropped while still (briefly) alive: it is reaped, not left a zombie.
    s.process.reset();
    EXPECT_TRUE(Eventually([&] { return !ProcessExists(pid); }));
}

TEST(ProcessLauncher, ChildrenInheritNoOtherPipe) {
    ToolJobFixture f;
    // While the first tool's pipe is open here, a second tool must not get it.
    const std::string a = f.InstallTool(0, "sahara0", "hang\n");
    const std::string b = f.InstallTool(1, "sahara1", "out bye\n");
    auto first = Start(f.launcher, a, f.WorkDir(0));
    ASSERT_TRUE(first.process);
    char target[64] = {};
    const std::string out = "/proc/" + std::to_string(first.process->Pid()) + "/fd/1";
    ASSERT_GT(::readlink(out.c_str(), target, sizeof target - 1), 0);
    const std::string firstPipe = target;
    ASSERT_EQ(firstPipe.rfind("pipe:", 0), 0u);

    auto second = Start(f.launcher, b, f.WorkDir(1));
    ASSERT_TRUE(second.process);
    EXPECT_EQ(ReadAll(*second.process), "bye");
    const std::string secondFds = ReadFile(f.WorkDir(1) + "sahara1.fds");
    EXPECT_EQ(secondFds.find(firstPipe), std::string::npos) << secondFds;
    EXPECT_TRUE(f.processes.KillProcessByName("sahara0"));
}

TEST(ProcessTable, KillsOnlyTheFirstOfTwoAndIgnoresUnknownNames) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(4, "firehorse4", "hang\n");
    auto one = Start(f.launcher, tool, f.WorkDir(4));
    auto two = Start(f.launcher, tool, f.WorkDir(4));
    ASSERT_TRUE(one.process && two.process);
    ASSERT_TRUE(Eventually([&] { return f.Runs(4, "firehorse4").size() == 2; }));
    auto& lower = one.process->Pid() < two.process->Pid() ? one : two;
    auto& higher = one.process->Pid() < two.process->Pid() ? two : one;

    EXPECT_FALSE(f.processes.KillProcessByName("firehorse9"));
    EXPECT_FALSE(f.processes.IsProcessRunning("firehorse9"));
    EXPECT_TRUE(f.processes.IsProcessRunning("FireHorse4"));

    // Case does not matter; only the lowest pid goes.
    EXPECT_TRUE(f.processes.KillProcessByName("FIREHORSE4"));
    ExitStatus st;
    ASSERT_TRUE(lower.process->Wait(st, nullptr));
    EXPECT_TRUE(st.signaled);
    EXPECT_TRUE(f.processes.IsProcessRunning("firehorse4"));

    EXPECT_TRUE(f.processes.KillProcessByName("firehorse4"));
    ASSERT_TRUE(higher.process->Wait(st, nullptr));
    EXPECT_TRUE(st.signaled);
    EXPECT_FALSE(f.processes.IsProcessRunning("firehorse4"));
    EXPECT_FALSE(f.processes.KillProcessByName("firehorse4"));
}

TEST(ProcessTable, ZombiesDoNotCount) {
    ToolJobFixture f;
    const std::string tool = f.InstallTool(5, "sahara5", "exit 0\n");
    auto s = Start(f.launcher, tool, f.WorkDir(5));
    ASSERT_TRUE(s.process);
    char buf[16];
    while (s.process->Read(buf, sizeof buf, nullptr) > 0) {
    }
    // Ended but not yet reaped: a zombie, which neither runs nor can be killed.
    ASSERT_TRUE(Eventually([&] {
        std::ifstream stat("/proc/" + std::to_string(s.process->Pid()) + "/stat");
        std::string line;
        std::getline(stat, line);
        return line.find(") Z") != std::string::npos;
    }));
    EXPECT_FALSE(f.processes.IsProcessRunning("sahara5"));
    EXPECT_FALSE(f.processes.KillProcessByName("sahara5"));
}
