#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "SimBench.h"
#include "SimTestSupport.h"
#include "TempDir.h"
#include "ports/ListPortsReport.h"
#include "ports/PortMapping.h"
#include "ports/SerialPorts.h"

namespace gf::sim {
namespace {

using test::ChangeCounter;
using test::ScriptedServers;

struct BenchFixture : ::testing::Test {
    gf::test::ScopedTempCwd tmp;
    ChangeCounter changes;

    std::unique_ptr<SimBench> Make(int count, const std::string& knobText,
                                   ModeServers servers = {}) {
        BenchConfig config;
        config.dir = tmp.path() + "/bench";
        config.count = count;
        std::string error;
        EXPECT_TRUE(config.knobs.Parse(knobText, error)) << error;
        config.servers = std::move(servers);
        auto bench = std::make_unique<SimBench>(config);
        EXPECT_TRUE(bench->Start(error)) << error;
        bench->SetListener(changes.Listener());
        return bench;
    }
};

std::vector<DeviceNode> ComPorts(SimBench& bench) {
    std::vector<DeviceNode> ports;
    for (const auto& n : bench.Snapshot()) {
        if (n.isComPort) ports.push_back(n);
    }
    return ports;
}

const DeviceNode* FindNode(const std::vector<DeviceNode>& nodes, const std::string& id) {
    for (const auto& n : nodes) {
        if (n.instanceId == id) return &n;
    }
    return nullptr;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool CanOpen(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

TEST_F(BenchFixture, TreeShowsEveryPresentPortInWindowsForm) {
    auto bench = Make(3, "dev2:mode=diag,dev3:serial=SN42");
    const auto nodes = bench->Snapshot();
    const auto ports = ComPorts(*bench);
    ASSERT_EQ(ports.size(), 3u);
    const auto devices = bench->Devices();

    // The hub is the only root.
    const DeviceNode* hub = nullptr;
    for (const auto& n : nodes) {
        if (n.parentId.empty()) {
            EXPECT_EQ(hub, nullptr) << "a second root " << n.instanceId;
            hub = &n;
        }
    }
    ASSERT_NE(hub, nullptr);

    for (size_t i = 0; i < ports.size(); ++i) {
        const DeviceNode& p = ports[i];
        const std::string tag = "(COM" + std::to_string(devices[i].comNumber) + ")";
        ASSERT_TRUE(p.friendlyName.has_value());
        const std::string name = "ttySIM" + std::to_string(i + 1);
        EXPECT_EQ(devices[i].devicePath, tmp.path() + "/bench/" + name);
        EXPECT_TRUE(EndsWith(*p.friendlyName, " " + name + " " + tag)) << *p.friendlyName;
        EXPECT_EQ(p.devicePath, devices[i].devicePath);
        EXPECT_EQ(p.comNumber, devices[i].comNumber);
        EXPECT_TRUE(CanOpen(p.devicePath)) << p.devicePath;
        EXPECT_FALSE(p.hardwareIds.empty());
        EXPECT_TRUE(p.locationInfo.has_value());
        ASSERT_EQ(p.locationPaths.size(), 1u);
    }
    EXPECT_NE(ports[0].comNumber, ports[1].comNumber);
    EXPECT_NE(ports[1].comNumber, ports[2].comNumber);
    EXPECT_NE(ports[0].comNumber, ports[2].comNumber);

    // Download mode without serial: the port is the USB device, id ends in the
    // hub port, parent is the hub.
    EXPECT_EQ(ports[0].friendlyName->rfind("Qualcomm HS-USB QDLoader 9008 ", 0), 0u);
    EXPECT_EQ(ports[0].deviceDesc, "Qualcomm HS-USB QDLoader 9008");
    EXPECT_TRUE(EndsWith(ports[0].instanceId, "&1")) << ports[0].instanceId;
    EXPECT_EQ(ports[0].parentId, hub->instanceId);
    EXPECT_EQ(ports[0].hardwareIds[0], "USB\\VID_05C6&PID_9008&REV_0000");

    // Diagnostic port: an interface whose parent is the composite device at
    // hub port 2, whose parent is the hub; its location path has one element
    // more than the device's own path at that socket.
    EXPECT_EQ(ports[1].friendlyName->rfind("Qualcomm HS-USB Diagnostics 9091 ", 0), 0u);
    const DeviceNode* usb = FindNode(nodes, ports[1].parentId);
    ASSERT_NE(usb, nullptr);
    EXPECT_FALSE(usb->isComPort);
    EXPECT_TRUE(EndsWith(usb->instanceId, "&2")) << usb->instanceId;
    EXPECT_EQ(usb->parentId, hub->instanceId);
    const std::string& diagPath = ports[1].locationPaths[0];
    const std::string& loadPath = ports[0].locationPaths[0];
    EXPECT_EQ(diagPath.substr(0, diagPath.rfind('#')),
              loadPath.substr(0, loadPath.size() - 3) + "(2)");

    // A serial number replaces the hub port in the id.
    EXPECT_TRUE(EndsWith(ports[2].instanceId, "\\SN42")) << ports[2].instanceId;
}

TEST_F(BenchFixture, PortListShowsTheBenchAsTheScanReadsIt) {
    auto bench = Make(3, "dev2:mode=diag,dev3:mode=absent");
    std::vector<SSerInfo> list;
    ListSerialPorts(*bench, list);
    ASSERT_EQ(list.size(), 2u);
    const auto devices = bench->Devices();
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].strDevicePath, devices[i].devicePath);
        EXPECT_TRUE(
            EndsWith(list[i].strFriendlyName, "(COM" + std::to_string(devices[i].comNumber) + ")"));
    }
    EXPECT_NE(list[0].strFriendlyName.find("QDLoader"), std::string::npos);
    EXPECT_EQ(list[0].strDeviceDesc, "Qualcomm HS-USB QDLoader 9008");
    EXPECT_EQ(list[1].strDeviceDesc, "Qualcomm HS-USB Diagnostics 9091");
    EXPECT_EQ(list[1].strHardwareId, "USB\\VID_05C6&PID_9091&REV_0000&MI_00");

    std::string error;
    ASSERT_TRUE(bench->SetMode(3, SimMode::Diag, error)) << error;
    ListSerialPorts(*bench, list);
    EXPECT_EQ(list.size(), 3u) << "a plugged device joins the list";
}

TEST_F(BenchFixture, PortMappingFollowsADeviceIntoDownloadModeAtItsSocket) {
    auto bench = Make(3, "mode=diag,dev2:serial=SN42");
    CPortMapping mapping(bench.get());
    std::string error;
    for (int n : {1, 2}) {
        SCOPED_TRACE("dev" + std::to_string(n));
        const int diagCom = bench->Device(n)->comNumber;
        const std::string tag = "(COM" + std::to_string(diagCom) + ")";
        EXPECT_TRUE(mapping.IsDiagPortPresent("COM" + std::to_string(diagCom)));
        PhysicalAddress address{};
        MappingError mapError{};
        const bool hubForm = mapping.GetPhysicalPortAddress(address, mapError, tag.c_str());
        EXPECT_EQ(hubForm, n == 1) << "a serial number has no hub form";
        if (!hubForm) {
            ASSERT_TRUE(mapping.GetLocationPath(address, mapError, tag.c_str()));
        }

        ASSERT_TRUE(bench->SetMode(n, SimMode::Download, error)) << error;
        EXPECT_FALSE(mapping.IsDiagPortPresent("COM" + std::to_string(diagCom)));
        PortText text{};
        const bool found =
            hubForm ? mapping.GetPortAfterPowerCycleByPhysicalAddress(text, mapError, address)
                    : mapping.GetPortAfterPowerCycleByLocationPath(address, mapError, text);
        ASSERT_TRUE(found) << address;
        EXPECT_EQ(std::string(text), std::to_string(bench->Device(n)->comNumber) + ")");
    }

    // A device that comes back at another socket is not found at the old one.
    const std::string tag = "(COM" + std::to_string(bench->Device(3)->comNumber) + ")";
    PhysicalAddress address{};
    MappingError mapError{};
    ASSERT_TRUE(mapping.GetPhysicalPortAddress(address, mapError, tag.c_str()));
    ASSERT_TRUE(bench->SetMode(3, SimMode::Download, error, 7)) << error;
    PortText text{};
    EXPECT_FALSE(mapping.GetPortAfterPowerCycleByPhysicalAddress(text, mapError, address));
}

// The --list-ports text: the download port that replaces a diag port shows the
// same physical address.
TEST_F(BenchFixture, PortReportShowsOneLinePerPortAndTheSharedSocket) {
    auto bench = Make(2, "dev1:mode=diag");
    auto fields = [](const std::string& line) {
        std::vector<std::string> f;
        size_t pos = 0;
        for (size_t tab; (tab = line.find('\t', pos)) != std::string::npos; pos = tab + 1) {
            f.push_back(line.substr(pos, tab - pos));
        }
        f.push_back(line.substr(pos));
        return f;
    };
    auto lines = [&](const std::string& report) {
        std::vector<std::vector<std::string>> out;
        size_t pos = 0;
        for (size_t nl; (nl = report.find('\n', pos)) != std::string::npos; pos = nl + 1) {
            out.push_back(fields(report.substr(pos, nl - pos)));
        }
        return out;
    };
    auto before = lines(FormatPortList(*bench));
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(before[0].size(), 5u);
    EXPECT_EQ(before[0][0], "COM" + std::to_string(bench->Device(1)->comNumber));
    EXPECT_EQ(before[0][2], bench->Device(1)->devicePath);
    EXPECT_NE(before[0][4], "-");

    std::string error;
    ASSERT_TRUE(bench->SetMode(1, SimMode::Download, error)) << error;
    auto after = lines(FormatPortList(*bench));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0][0], "COM" + std::to_string(bench->Device(1)->comNumber));
    EXPECT_EQ(after[0][4], before[0][4]) << "same socket, same address";
    EXPECT_NE(after[0][4], after[1][4]) << "another socket, another address";
}

TEST_F(BenchFixture, PortIsRawAndCarriesEveryByteValue) {
    ModeServers servers;
    servers.download = test::EchoServer;
    auto bench = Make(1, "", servers);
    const std::string path = bench->Device(1)->devicePath;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    std::string sent;
    for (int i = 0; i < 256; ++i) sent += static_cast<char>(i);
    sent += "\r\n\x03\x11\x13\x7f";
    ASSERT_EQ(::write(fd, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    std::string got;
    while (got.size() < sent.size()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        char buf[512];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(got, sent);
}

TEST_F(BenchFixture, ModeChangeReenumeratesAtTheSameSocket) {
    ModeServers servers;
    servers.download = test::EchoServer;
    servers.diag = test::EchoServer;
    auto bench = Make(2, "mode=diag", servers);
    const SimDeviceInfo diag = *bench->Device(1);
    const int host = ::open(diag.devicePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(host, 0);

    std::string error;
    ASSERT_TRUE(bench->SetMode(1, SimMode::Download, error)) << error;
    // A host that had the diag port open sees it hang up.
    pollfd p{host, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char byte;
    EXPECT_LE(::read(host, &byte, 1), 0);
    ::close(host);
    EXPECT_EQ(changes.Count(), 1);
    const SimDeviceInfo load = *bench->Device(1);
    EXPECT_EQ(load.mode, SimMode::Download);
    EXPECT_EQ(load.socket, diag.socket);
    EXPECT_NE(load.comNumber, diag.comNumber);
    EXPECT_NE(load.comNumber, bench->Device(2)->comNumber);
    const auto ports = ComPorts(*bench);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_NE(ports[0].friendlyName->find("QDLoader"), std::string::npos);

    // Back in diag mode at that socket: the database gives the old number back.
    ASSERT_TRUE(bench->SetMode(1, SimMode::Diag, error)) << error;
    EXPECT_EQ(bench->Device(1)->comNumber, diag.comNumber);
    EXPECT_EQ(changes.Count(), 2);

    // Setting the mode a device already has is no change.
    ASSERT_TRUE(bench->SetMode(1, SimMode::Diag, error));
    EXPECT_EQ(changes.Count(), 2);
    EXPECT_FALSE(bench->SetMode(3, SimMode::Diag, error));
    EXPECT_FALSE(bench->SetMode(1, SimMode::Diag, error, 2)) << "socket 2 is taken";
}

TEST_F(BenchFixture, ModeChangeWaitsForARunningServer) {
    ModeServers servers;
    servers.download = test::EchoServer;
    auto bench = Make(1, "", servers);
    std::string error;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(bench->SetMode(1, i % 2 ? SimMode::Download : SimMode::Absent, error));
    }
    EXPECT_EQ(changes.Count(), 5);
    EXPECT_EQ(bench->Device(1)->mode, SimMode::Absent);
}

TEST_F(BenchFixture, UnplugSendsAChangeAndLeavesTheTree) {
    auto bench = Make(2, "dev2:mode=diag");
    const SimDeviceInfo gone = *bench->Device(2);
    const size_t before = bench->Snapshot().size();
    std::string error;
    ASSERT_TRUE(bench->SetMode(2, SimMode::Absent, error)) << error;
    EXPECT_EQ(changes.Count(), 1);
    const auto nodes = bench->Snapshot();
    EXPECT_EQ(nodes.size(), before - 2) << "the interface and its USB device leave";
    for (const auto& n : nodes) {
        EXPECT_NE(n.comNumber, gone.comNumber);
        EXPECT_EQ(n.instanceId.find("PID_9091"), std::string::npos) << n.instanceId;
    }
    EXPECT_FALSE(CanOpen(gone.devicePath));
    EXPECT_EQ(bench->Device(2)->comNumber, 0);
    EXPECT_TRUE(bench->Device(2)->devicePath.empty());
}

TEST_F(BenchFixture, ServerOutcomesDriveTheNextAppearance) {
    using O = SimOutcome;
    const struct {
        const char* name;
        const char* knobs;
        std::deque<O> diag;
        std::deque<O> download;
        int changes;
        SimMode mode;
        int socket;
    } cases[] = {
        {"switched and reset: back in diag",
         "mode=diag",
         {O::SwitchToDownload},
         {O::Reset},
         2,
         SimMode::Diag,
         1},
        {"reset in download: back in download", "", {}, {O::Reset}, 1, SimMode::Download, 1},
        {"no-return stays away",
         "mode=diag,no-return",
         {O::SwitchToDownload},
         {O::Reset},
         2,
         SimMode::Absent,
         1},
        {"return-socket",
         "mode=diag,return-socket=5",
         {O::SwitchToDownload},
         {O::Reset},
         2,
         SimMode::Diag,
         5},
        {"return-mode",
         "mode=diag,return-mode=download",
         {O::SwitchToDownload},
         {O::Reset},
         2,
         SimMode::Download,
         1},
        {"vanished", "", {}, {O::Vanished}, 1, SimMode::Absent, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeCounter counter;
        ScriptedServers script;
        script.Script(SimMode::Diag, c.diag);
        script.Script(SimMode::Download, c.download);
        BenchConfig config;
        config.dir = tmp.path() + "/outcomes";
        std::string error;
        ASSERT_TRUE(config.knobs.Parse(c.knobs, error));
        config.servers = script.Servers();
        SimBench bench(config);
        bench.SetListener(counter.Listener());
        ASSERT_TRUE(bench.Start(error)) << error;
        const int firstCom = bench.Device(1)->comNumber;
        script.Release();
        ASSERT_TRUE(counter.WaitFor(c.changes));
        const SimDeviceInfo d = *bench.Device(1);
        EXPECT_EQ(d.mode, c.mode);
        EXPECT_EQ(d.socket, c.socket);
        if (c.mode == bench.State(1).knobs.mode && c.socket == 1) {
            EXPECT_EQ(d.comNumber, firstCom) << "same socket, same mode, same number";
        }
        bench.Stop();
        EXPECT_EQ(counter.Count(), c.changes);
    }
}

TEST_F(BenchFixture, StorageAndComNumbersLastAcrossRestarts) {
    std::string storage;
    std::vector<int> coms;
    {
        auto bench = Make(2, "storage=1M");
        const SimDeviceInfo d = *bench->Device(1);
        storage = d.storagePath;
        struct stat st {};
        ASSERT_EQ(::stat(storage.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 1 << 20);
        EXPECT_LT(st.st_blocks * 512, st.st_size) << "storage should be sparse";
        std::fstream f(storage, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        f << "flashed";
        for (const auto& dev : bench->Devices()) coms.push_back(dev.comNumber);
    }
    auto bench = Make(2, "storage=1M");
    std::ifstream f(storage, std::ios::binary);
    f.seekg(4096);
    std::string word(7, '\0');
    f.read(word.data(), 7);
    EXPECT_EQ(word, "flashed");
    EXPECT_EQ(bench->Device(1)->comNumber, coms[0]);
    EXPECT_EQ(bench->Device(2)->comNumber, coms[1]);
}

TEST_F(BenchFixture, StartRefusesTwoDevicesOnOneSocket) {
    BenchConfig config;
    config.dir = tmp.path() + "/clash";
    config.count = 2;
    std::string error;
    ASSERT_TRUE(config.knobs.Parse("dev2:socket=1", error));
    SimBench bench(config);
    EXPECT_FALSE(bench.Start(error));
    EXPECT_NE(error.find("socket 1"), std::string::npos) << error;
    EXPECT_TRUE(bench.Snapshot().size() <= 1u);
}

TEST_F(BenchFixture, NvItemsAreSeededPerDevice) {
    auto bench = Make(2, "");
    SimDeviceState& one = bench->State(1);
    SimDeviceState& two = bench->State(2);
    std::lock_guard lock(one.nvMutex);
    ASSERT_EQ(one.nv.count(550), 1u);
    // IMEI digits back from the item's nibbles.
    const auto& item = one.nv[550];
    std::string digits(1, static_cast<char>('0' + (item[1] >> 4)));
    for (int i = 2; i <= 8; ++i) {
        digits += static_cast<char>('0' + (item[i] & 0xF));
        digits += static_cast<char>('0' + (item[i] >> 4));
    }
    EXPECT_EQ(digits, SeededImei(1));
    EXPECT_EQ(SeededImei(1), "352099000000014");  // Luhn check digit 4
    EXPECT_NE(one.nv[0], two.nv[0]) << "ESNs differ";
    EXPECT_EQ(one.nv[0].size(), 128u);
}

}  // namespace
}  // namespace gf::sim
