#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "RemoteBenchTree.h"
#include "SimTestSupport.h"
#include "TempDir.h"

namespace gf::sim {
namespace {

const std::string kSimBinary = std::string(GF_TEST_BIN_DIR) + "/sim/simd/gangflash-sim";

// gangflash-sim as a child process with its standard input and output on pipes.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        // Built before fork: the child of a threaded process only execs.
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kSimBinary.c_str()));
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(kSimBinary.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~SimProcess() {
        Kill();
        if (m_in >= 0) ::close(m_in);
        if (m_out >= 0) ::close(m_out);
    }

    // The next output line, or "" after 10 s or at the end of the output.
    std::string ReadLine() {
        for (;;) {
            size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return {};
            char buf[256];
            ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0) return {};
            m_buffer.append(buf, static_cast<size_t>(n));
        }
    }
    // Reads until a line starting with `prefix`; "" when none comes.
    std::string WaitFor(const std::string& prefix) {
        for (;;) {
            std::string line = ReadLine();
            if (line.empty() || line.rfind(prefix, 0) == 0) return line;
        }
    }
    void Send(const std::string& command) {
        std::string line = command + "\n";
        ASSERT_EQ(::write(m_in, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    // Exit status after the process ends by itself (-1 if it was killed).
    int Wait() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

std::vector<DeviceNode> ComPorts(RemoteBenchTree& tree) {
    std::vector<DeviceNode> ports;
    for (const auto& n : tree.Snapshot()) {
        if (n.isComPort) ports.push_back(n);
    }
    return ports;
}

TEST(RemoteBench, StationFollowsABenchProcessThroughChangesKillsAndRestarts) {
    gf::test::ScopedTempCwd tmp;
    const std::string dir = tmp.path() + "/bench";
    const std::string desc = dir + "/bench.desc";
    const std::vector<std::string> args = {"--dir", dir, "--quiet", "3,dev2:mode=diag"};

    auto sim = std::make_unique<SimProcess>(args);
    ASSERT_FALSE(sim->WaitFor("ready").empty()) << "gangflash-sim did not come up";

    auto tree = std::make_unique<RemoteBenchTree>(desc);
    test::ChangeCounter changes;
    tree->SetListener(changes.Listener());
    auto ports = ComPorts(*tree);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_NE(ports[1].friendlyName->find("Diagnostics"), std::string::npos);
    const int diagCom = ports[1].comNumber;
    const BenchDescription first = tree->Read();
    ASSERT_EQ(first.devices.size(), 3u);
    EXPECT_EQ(first.devices[1].mode, SimMode::Diag);
    EXPECT_EQ(first.devices[1].comNumber, diagCom);

    // A mode change in the bench process reaches the station as a change event.
    sim->Send("mode 2 download");
    EXPECT_EQ(sim->WaitFor("ok").rfind("ok dev2 download socket 2 COM", 0), 0u);
    ASSERT_TRUE(changes.WaitFor(1));
    ports = ComPorts(*tree);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_NE(ports[1].friendlyName->find("QDLoader"), std::string::npos);
    EXPECT_NE(ports[1].comNumber, diagCom);
    sim->Send("mode 9 diag");
    EXPECT_EQ(sim->WaitFor("error"), "error: no device 9");

    // Killing the bench process looks like every device leaving.
    int seen = changes.Count();
    sim->Kill();
    ASSERT_TRUE(changes.WaitFor(seen + 1));
    EXPECT_TRUE(tree->Snapshot().empty());

    // A restarted bench comes back with the same COM numbers.
    seen = changes.Count();
    sim = std::make_unique<SimProcess>(args);
    ASSERT_FALSE(sim->WaitFor("ready").empty());
    ASSERT_TRUE(changes.WaitFor(seen + 1));
    ports = ComPorts(*tree);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[1].comNumber, diagCom);

    // A second bench process may not serve the same description.
    SimProcess second(args);
    EXPECT_EQ(second.Wait(), 1);

    // A restarted station sees the running bench at once.
    tree = std::make_unique<RemoteBenchTree>(desc);
    EXPECT_EQ(ComPorts(*tree).size(), 3u);

    // "quit" ends the bench cleanly and withdraws the description.
    sim->Send("quit");
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_TRUE(tree->Snapshot().empty());
    EXPECT_FALSE(gf::test::FileExists(desc));
}

TEST(RemoteBench, DescriptionRoundTrips) {
    BenchDescription d;
    d.ownerPid = 4242;
    d.generation = 7;
    SimDeviceInfo dev;
    dev.number = 1;
    dev.mode = SimMode::Diag;
    dev.socket = 3;
    dev.comNumber = 12;
    dev.devicePath = "/dev/pts/9";
    dev.storagePath = "/tmp/x/dev1.emmc";
    dev.storageBytes = 1 << 20;
    d.devices = {dev};
    DeviceNode hub;
    hub.instanceId = "USB\\ROOT_HUB30\\4&1&0&0";
    DeviceNode port;
    port.instanceId = "USB\\VID_05C6&PID_9008\\5&AB&0&3";
    port.parentId = hub.instanceId;
    port.isComPort = true;
    port.friendlyName = "Qualcomm HS-USB QDLoader 9008 pts/9 (COM12)";
    port.hardwareIds = {"USB\\VID_05C6&PID_9008&REV_0000", "USB\\VID_05C6&PID_9008"};
    port.locationPaths = {"PCIROOT(0)#USB(3)"};
    port.devicePath = "/dev/pts/9";
    port.comNumber = 12;
    d.nodes = {hub, port};

    BenchDescription back;
    std::string error;
    ASSERT_TRUE(ParseBenchDescription(FormatBenchDescription(d), back, error)) << error;
    EXPECT_EQ(back.ownerPid, 4242);
    EXPECT_EQ(back.generation, 7u);
    ASSERT_EQ(back.devices.size(), 1u);
    EXPECT_EQ(back.devices[0].mode, SimMode::Diag);
    EXPECT_EQ(back.devices[0].comNumber, 12);
    EXPECT_EQ(back.devices[0].storageBytes, 1u << 20);
    ASSERT_EQ(back.nodes.size(), 2u);
    EXPECT_FALSE(back.nodes[0].friendlyName.has_value()) << "absent stays absent";
    EXPECT_FALSE(back.nodes[0].isComPort);
    EXPECT_EQ(back.nodes[1].friendlyName, port.friendlyName);
    EXPECT_FALSE(back.nodes[1].deviceDesc.has_value());
    EXPECT_EQ(back.nodes[1].hardwareIds, port.hardwareIds);
    EXPECT_EQ(back.nodes[1].locationPaths, port.locationPaths);
    EXPECT_EQ(back.nodes[1].parentId, hub.instanceId);
    EXPECT_EQ(back.nodes[1].comNumber, 12);

    EXPECT_FALSE(ParseBenchDescription("owner=x\n", back, error));
    EXPECT_FALSE(ParseBenchDescription("[device]\nmode=sleeping\n", back, error));
}

}  // namespace
}  // namespace gf::sim
