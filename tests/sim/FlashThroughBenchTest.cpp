#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "SamplePackage.h"
#include "SimBench.h"
#include "SimTestSupport.h"
#include "SimWiring.h"
#include "TempDir.h"

extern char** environ;

namespace gf::sim {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;
};

// Runs a loader tool to its end with its output on a pipe.
ToolRun RunTool(const std::string& tool, std::vector<std::string> args) {
    ToolRun run;
    const std::string path = std::string(GF_TEST_BIN_DIR) + "/" + tool;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        run.output = "cannot start " + path;
        return run;
    }
    char buf[4096];
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 60000) <= 0) break;
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        run.output.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Sends the framed DIAG request that switches a device to download mode and
// waits for its echo.
bool SwitchDiagToDownload(const std::string& port) {
    int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    const unsigned char frame[] = {0x4B, 0x65, 0x01, 0x00, 0x54, 0x0F, 0x7E};
    bool ok = ::write(fd, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame);
    std::string reply;
    while (ok && reply.find('\x7e') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        char buf[64];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        reply.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok && !reply.empty() && static_cast<unsigned char>(reply[0]) == 0x4B;
}

// The whole road of a diagnostic-mode device: switch to download mode at the
// same socket, Sahara and the three Firehose runs of the loader stage, power
// reset, and back in diagnostic mode under its old COM number, with the
// package in its storage.
TEST(FlashThroughBench, DiagDeviceIsSwitchedFlashedAndComesBack) {
    ModeServers servers = MakeModeServers();
    ProgrammerWriter programmer = MakeProgrammerWriter();
    if (!servers.download || !servers.diag || !programmer) {
        GTEST_SKIP() << "protocol servers not built in";
    }
    gf::test::ScopedTempCwd tmp;
    const std::string pkg = tmp.path() + "/pkg";
    std::string error;
    ASSERT_TRUE(MakeSamplePackage(pkg, error, programmer)) << error;

    BenchConfig config;
    config.dir = tmp.path() + "/bench";
    config.count = 2;
    ASSERT_TRUE(config.knobs.Parse("mode=diag,storage=16M", error));
    config.servers = servers;
    SimBench bench(config);
    test::ChangeCounter changes;
    bench.SetListener(changes.Listener());
    ASSERT_TRUE(bench.Start(error)) << error;
    const SimDeviceInfo diag = *bench.Device(2);

    ASSERT_TRUE(SwitchDiagToDownload(diag.devicePath));
    ASSERT_TRUE(changes.WaitFor(1));
    const SimDeviceInfo load = *bench.Device(2);
    ASSERT_EQ(load.mode, SimMode::Download);
    EXPECT_EQ(load.socket, diag.socket);
    EXPECT_NE(load.comNumber, diag.comNumber);

    const std::string port = load.devicePath;
    ToolRun sahara = RunTool("sahara", {"-p", port, "-s", "13:" + pkg + "/" + kSampleProgrammer});
    ASSERT_EQ(sahara.status, 0) << sahara.output;
    EXPECT_NE(sahara.output.find("Sahara protocol completed"), std::string::npos);
    const std::vector<std::string> common = {"--port=" + port,   "--search_path=" + pkg + "/",
                                             "--noprompt",       "--showpercentagecomplete",
                                             "--zlpawarehost=1", "--memoryname=eMMC"};
    auto fh = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool("firehorse", args);
    };
    ToolRun raw = fh({"--sendxml=rawprogram0.xml"});
    ASSERT_EQ(raw.status, 0) << raw.output;
    ToolRun patch = fh({"--sendxml=patch0.xml"});
    ASSERT_EQ(patch.status, 0) << patch.output;
    ToolRun activate = fh({"--setactivepartition=0", "--reset"});
    ASSERT_EQ(activate.status, 0) << activate.output;

    ASSERT_TRUE(changes.WaitFor(2)) << "no re-enumeration after the reset";
    const SimDeviceInfo back = *bench.Device(2);
    EXPECT_EQ(back.mode, SimMode::Diag);
    EXPECT_EQ(back.comNumber, diag.comNumber);
    EXPECT_EQ(bench.Device(1)->mode, SimMode::Diag) << "the other device is untouched";

    std::string mismatch;
    EXPECT_TRUE(CheckFlashedSample(pkg, back.storagePath, mismatch)) << mismatch;
}

}  // namespace
}  // namespace gf::sim

namespace gf::sim {
namespace {

// The knob text reaches the device-side servers: a refused switch leaves the
// device in diagnostic mode; a device that vanishes mid-transfer fails the
// loader and leaves the bus.
TEST(FlashThroughBench, FaultKnobsReachTheServers) {
    ModeServers servers = MakeModeServers();
    ProgrammerWriter programmer = MakeProgrammerWriter();
    if (!servers.download || !servers.diag || !programmer) {
        GTEST_SKIP() << "protocol servers not built in";
    }
    ::setenv("GF_EDL_TIMEOUT_MS", "2000", 1);
    gf::test::ScopedTempCwd tmp;
    const std::string pkg = tmp.path() + "/pkg";
    std::string error;
    ASSERT_TRUE(MakeSamplePackage(pkg, error, programmer)) << error;

    BenchConfig config;
    config.dir = tmp.path() + "/bench";
    config.count = 2;
    ASSERT_TRUE(
        config.knobs.Parse("storage=16M,dev1:vanish=30,dev2:mode=diag,refuse-switch", error));
    config.servers = servers;
    SimBench bench(config);
    test::ChangeCounter changes;
    bench.SetListener(changes.Listener());
    ASSERT_TRUE(bench.Start(error)) << error;

    EXPECT_FALSE(SwitchDiagToDownload(bench.Device(2)->devicePath));
    EXPECT_EQ(bench.Device(2)->mode, SimMode::Diag);

    const std::string port = bench.Device(1)->devicePath;
    ToolRun sahara = RunTool("sahara", {"-p", port, "-s", "13:" + pkg + "/" + kSampleProgrammer});
    ASSERT_EQ(sahara.status, 0) << sahara.output;
    ToolRun raw = RunTool(
        "firehorse", {"--port=" + port, "--sendxml=rawprogram0.xml", "--search_path=" + pkg + "/",
                      "--noprompt", "--showpercentagecomplete", "--memoryname=eMMC"});
    EXPECT_NE(raw.status, 0);
    EXPECT_NE(raw.output.find("ERROR:"), std::string::npos) << raw.output;
    ASSERT_TRUE(changes.WaitFor(1));
    EXPECT_EQ(bench.Device(1)->mode, SimMode::Absent);
    EXPECT_EQ(changes.Count(), 1) << "the refused switch changed nothing";
    ::unsetenv("GF_EDL_TIMEOUT_MS");
}

}  // namespace
}  // namespace gf::sim
