// The whole station on a simulated bench: the terminal front-end, the real
// loader tools over pseudo-terminals, the device side writing storage files.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProcessLauncher.h"
#include "ProcessTable.h"
#include "ProfileFile.h"
#include "RealClock.h"
#include "SamplePackage.h"
#include "SimBench.h"
#include "SimWiring.h"
#include "RecordingView.h"
#include "TempDir.h"
#include "TermStation.h"
#include "TermView.h"
#include "app/GangflashDlg.h"
#include "diag/QmslLoader.h"
#include "job/JobOwner.h"
#include "util/QueueDispatcher.h"

using namespace gf;
using namespace gf::test;
namespace fs = std::filesystem;

namespace {

std::uint32_t Crc32(const unsigned char* data, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t Le64(const unsigned char* p) { return Le32(p) | (std::uint64_t(Le32(p + 4)) << 32); }

// The patches made both GPT headers consistent: signature, header CRC, entry
// array CRC, and the backup header at the last sector of the storage.
std::string CheckGpt(const std::string& storage) {
    std::ifstream in(storage, std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::uint64_t sectors = static_cast<std::uint64_t>(in.tellg()) / 512;
    auto readSector = [&](std::uint64_t lba, std::size_t count) {
        std::vector<unsigned char> buf(count * 512);
        in.seekg(static_cast<std::streamoff>(lba * 512));
        in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
        return buf;
    };
    for (std::uint64_t lba : {std::uint64_t{1}, sectors - 1}) {
        auto h = readSector(lba, 1);
        if (std::string(reinterpret_cast<char*>(h.data()), 8) != "EFI PART") {
            return "no GPT header at LBA " + std::to_string(lba);
        }
        const std::uint32_t size = Le32(h.data() + 12);
        if (size < 92 || size > 512) return "bad header size at LBA " + std::to_string(lba);
        std::vector<unsigned char> copy(h.begin(), h.begin() + size);
        for (std::size_t i = 16; i < 20; ++i) copy.at(i) = 0;
        if (Crc32(copy.data(), size) != Le32(h.data() + 16)) {
            return "bad header CRC at LBA " + std::to_string(lba);
        }
        if (lba == 1 && Le64(h.data() + 32) != sectors - 1) return "backup LBA not patched";
        const std::uint64_t entries = Le64(h.data() + 72);
        const std::uint32_t count = Le32(h.data() + 80), entrySize = Le32(h.data() + 84);
        auto array = readSector(entries, (count * entrySize + 511) / 512);
        if (Crc32(array.data(), count * entrySize) != Le32(h.data() + 88)) {
            return "bad entry array CRC for header at LBA " + std::to_string(lba);
        }
    }
    return {};
}

// A station directory with the loader tools, settings, the sample package and
// a simulated bench.
struct Bench {
    ScopedTempCwd cwd;
    RealClock clock;
    ProfileFile profile;
    ProcessLauncher launcher;
    ProcessTable processes;
    QmslLoader qmsl;
    Services services;
    std::unique_ptr<sim::SimBench> bench;
    std::string package;
    std::ostringstream out;
    std::string summary;

    Bench(const std::string& simulate, const std::string& settings) {
        for (const char* tool : {"sahara", "firehorse"}) {
            fs::copy_file(std::string(GF_TEST_BIN_DIR) + "/" + tool, tool);
        }
        WriteFile("GangflashConfig.ini", "[SettingItems]\r\n" + settings);
        package = cwd.path() + "/pkg/";
        std::string error;
        EXPECT_TRUE(sim::MakeSamplePackage(package, error, sim::MakeProgrammerWriter())) << error;
        sim::BenchConfig config;
        EXPECT_TRUE(sim::ParseSimulateArgument(simulate, 8, config.count, config.knobs, error))
            << error;
        config.dir = cwd.path() + "/sim";
        config.servers = sim::MakeModeServers();
        bench = std::make_unique<sim::SimBench>(std::move(config));
        EXPECT_TRUE(bench->Start(error)) << error;
        services.clock = &clock;
        services.profile = &profile;
        services.launcher = &launcher;
        services.processes = &processes;
        services.devices = bench.get();
        services.workRoot = cwd.path() + "/work/";
        if (qmsl.Load(std::string(GF_TEST_BIN_DIR) + "/libqmsl.so", bench.get(), error)) {
            services.qmsl = qmsl.Table();
        }
    }
    ~Bench() { bench->Stop(); }

    // Runs the terminal front-end with AutoAll until every started slot ended.
    int Run(std::function<void(CGangflashDlg&)> prepare = nullptr) {
        TermView view(out, false, false);
        view.SetAssumeYes(true);
        QueueDispatcher dispatcher;
        CGangflashDlg dlg(view, dispatcher, services);
        dlg.m_restorePackage = [&dlg, this] {
            dlg.m_strRawProgramPath = package + "rawprogram0.xml";
            dlg.m_strPatchPath = package + "patch0.xml";
            dlg.m_strProgrammerPath = package + sim::kSampleProgrammer;
            dlg.m_strPackageDir = package;
        };
        if (prepare) prepare(dlg);
        TermOptions options;
        options.autoAll = true;
        options.exitWhenIdle = true;
        TermStation station(view, dispatcher, dlg, bench.get(), options);
        int status = station.Run();
        summary = station.Summary();
        return status;
    }

    // The last status text the terminal printed for `slot`.
    std::string LastStatus(int slot) const {
        std::istringstream in(out.str());
        std::string line, last;
        const std::string prefix = "slot " + std::to_string(slot) + " ";
        while (std::getline(in, line)) {
            if (line.rfind(prefix, 0) != 0) continue;
            std::size_t colon = line.find(": ");
            if (colon != std::string::npos) last = line.substr(colon + 2);
        }
        return last;
    }

    std::string SlotLine(int slot) const {
        std::istringstream in(summary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(std::to_string(slot) + " ", 0) == 0) return line;
        }
        return {};
    }
};

}  // namespace

TEST(StationE2E, EightDevicesFlashInParallelAndFaultsStayInTheirSlots) {
    Bench b("8,dev3:nak=program,dev5:stall=40,dev7:vanish=50",
            "nDownloadTimeout=20\r\nnOverTimeSeconds=180\r\nbAutoAll=1\r\n");
    EXPECT_EQ(b.Run(), 1);  // not all passed
    SCOPED_TRACE(b.summary + b.out.str());
    // Devices appear in order, so device N+1 sits in slot N.
    for (int slot : {0, 1, 3, 5, 7}) {
        EXPECT_NE(b.SlotLine(slot).find("PASS"), std::string::npos) << slot;
        auto dev = b.bench->Device(slot + 1);
        ASSERT_TRUE(dev);
        std::string mismatch;
        EXPECT_TRUE(sim::CheckFlashedSample(b.package, dev->storagePath, mismatch))
            << "slot " << slot << ": " << mismatch;
        EXPECT_EQ(CheckGpt(dev->storagePath), "") << slot;
    }
    for (int slot : {2, 4, 6}) EXPECT_NE(b.SlotLine(slot).find("FAILED"), std::string::npos);
    // Each fault shows its own reason in its own slot.
    EXPECT_NE(b.LastStatus(2).find("refused <program>"), std::string::npos) << b.LastStatus(2);
    EXPECT_EQ(b.LastStatus(4), "Download protocal timeout.");
    EXPECT_NE(b.LastStatus(6).find("disconnected"), std::string::npos) << b.LastStatus(6);
}

TEST(StationE2E, UnpluggedDeviceTurnsItsSlotIdleAndReturnsReady) {
    Bench b("2", "");
    test::RecordingView view;
    QueueDispatcher dispatcher;
    CGangflashDlg dlg(view, dispatcher, b.services);
    b.bench->SetListener([&] { dispatcher.Post([&] { dlg.OnDeviceChange(); }); });
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.m_nSlotState[0], kSlotReady);
    EXPECT_EQ(dlg.m_nSlotState[1], kSlotReady);
    const std::string label = view.Text(kPortComboId + 1);

    std::string error;
    ASSERT_TRUE(b.bench->SetMode(2, sim::SimMode::Absent, error)) << error;
    dispatcher.RunPending();
    EXPECT_EQ(dlg.m_nSlotState[1], kSlotIdle);
    EXPECT_EQ(dlg.m_nSlotState[0], kSlotReady);
    EXPECT_EQ(view.Text(kPortComboId + 1), label);  // the label stays

    ASSERT_TRUE(b.bench->SetMode(2, sim::SimMode::Download, error)) << error;
    dispatcher.RunPending();
    EXPECT_EQ(dlg.m_nSlotState[1], kSlotReady);  // same socket, same COM number, same label
    EXPECT_EQ(view.Text(kPortComboId + 1), label);
    b.bench->SetListener(nullptr);
}
