// The loader tools against the simulated download-mode device over real
// pseudo-terminals: a whole package flashed byte for byte, device faults turned
// into "ERROR:" lines and failing exits, refused programmers, silent ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "Crc32.h"
#include "EdlHarness.h"
#include "TempDir.h"

namespace gf::test {
namespace {

constexpr uint64_t kStorageBytes = 8ull << 20;
constexpr uint64_t kDiskSectors = kStorageBytes / 512;
constexpr int kTimeoutMs = 1000;  // the tools' wait for a device answer in these tests

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::string Le(uint64_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

// Android sparse image with 4096-byte blocks: RAW(2), FILL(1), DONT_CARE(2), RAW(1).
std::string MakeSparse(const std::string& raw1, uint32_t fill, const std::string& raw2) {
    auto chunk = [](uint16_t type, uint32_t blocks, const std::string& data) {
        return Le(type, 2) + Le(0, 2) + Le(blocks, 4) + Le(12 + data.size(), 4) + data;
    };
    std::string body = chunk(0xCAC1, 2, raw1) + chunk(0xCAC2, 1, Le(fill, 4)) +
                       chunk(0xCAC3, 2, "") + chunk(0xCAC1, 1, raw2);
    return Le(0xED26FF3A, 4) + Le(1, 2) + Le(0, 2) + Le(28, 2) + Le(12, 2) + Le(4096, 4) +
           Le(6, 4) + Le(4, 4) + Le(0, 4) + body;
}

void Put(std::string& disk, uint64_t offset, const std::string& bytes) {
    disk.replace(offset, bytes.size(), bytes);
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1)) ++n;
    return n;
}

bool LinesEndInCrLf(const std::string& out) {
    for (std::size_t i = out.find('\n'); i != std::string::npos; i = out.find('\n', i + 1))
        if (i == 0 || out[i - 1] != '\r') return false;
    return !out.empty() && out.back() == '\n';
}

// A package in the rawprogram/patch formats, and the storage it must produce.
class EdlPackage : public ::testing::Test {
protected:
    void SetUp() override {
        m_pkg = m_tmp.path() + "/pkg";
        m_storage = m_tmp.path() + "/emmc.bin";
        std::filesystem::create_directories(m_pkg);
        std::string error;
        ASSERT_TRUE(gf::sim::MakeProgrammerImage(m_pkg + "/prog_firehose.mbn", error)) << error;

        m_boot = RandomBytes(5000, 1);  // not a whole number of sectors
        m_offset = RandomBytes(3 * 512 + 100, 2);
        m_backup = RandomBytes(2 * 512, 3);
        m_raw1 = RandomBytes(2 * 4096, 4);
        m_raw2 = RandomBytes(4096, 5);
        m_sbl = RandomBytes(1024, 6);
        WriteFile(m_pkg + "/boot.img", m_boot);
        WriteFile(m_pkg + "/offset.bin", m_offset);
        WriteFile(m_pkg + "/gpt_backup0.bin", m_backup);
        WriteFile(m_pkg + "/system.img", MakeSparse(m_raw1, 0xDEADBEEF, m_raw2));
        WriteFile(m_pkg + "/sbl1.mbn", m_sbl);
        WriteFile(m_pkg + "/rawprogram0.xml", R"XML(<?xml version="1.0" ?>
<data>
  <!-- generated -->
  <erase SECTOR_SIZE_IN_BYTES="512" physical_partition_number="0" start_sector="9001" num_partition_sectors="2" />
  <program SECTOR_SIZE_IN_BYTES="512" file_sector_offset="0" filename="boot.img" label="boot" num_partition_sectors="100" physical_partition_number="0" start_sector="34" />
  <program SECTOR_SIZE_IN_BYTES="512" file_sector_offset="1" filename="offset.bin" label="misc" num_partition_sectors="8" physical_partition_number="0" start_sector="200" />
  <program SECTOR_SIZE_IN_BYTES="512" filename="" label="userdata" num_partition_sectors="10" physical_partition_number="0" start_sector="5000" />
  <program SECTOR_SIZE_IN_BYTES="512" filename="system.img" label="system" num_partition_sectors="64" physical_partition_number="0" sparse="true" start_sector="1000" />
  <program SECTOR_SIZE_IN_BYTES="512" filename="gpt_backup0.bin" label="BackupGPT" num_partition_sectors="2" physical_partition_number="0" start_sector="NUM_DISK_SECTORS-33." />
  <program SECTOR_SIZE_IN_BYTES="512" filename="sbl1.mbn" label="sbl1" num_partition_sectors="4" physical_partition_number="1" start_sector="0" />
</data>
)XML");
        WriteFile(m_pkg + "/patch0.xml", R"XML(<?xml version="1.0" ?>
<patches>
  <patch SECTOR_SIZE_IN_BYTES="512" byte_offset="0" filename="DISK" physical_partition_number="0" size_in_bytes="8" start_sector="1" value="NUM_DISK_SECTORS-1." what="Last LBA" />
  <patch SECTOR_SIZE_IN_BYTES="512" byte_offset="16" filename="gpt_main0.bin" physical_partition_number="0" size_in_bytes="4" start_sector="1" value="0" what="host-side file, not sent" />
  <patch SECTOR_SIZE_IN_BYTES="512" byte_offset="16" filename="DISK" physical_partition_number="0" size_in_bytes="4" start_sector="1" value="0" what="Zero CRC" />
  <patch SECTOR_SIZE_IN_BYTES="512" byte_offset="16" filename="DISK" physical_partition_number="0" size_in_bytes="4" start_sector="1" value="CRC32(34,5120)" what="CRC of boot" />
</patches>
)XML");
    }

    std::vector<std::string> SaharaArgs(const std::string& port) {
        return {"-p", port, "-s", "13:" + m_pkg + "/prog_firehose.mbn"};
    }
    std::vector<std::string> FhArgs(const std::string& port, const std::string& xml,
                                    bool wipe = false) {
        std::vector<std::string> a{
            "--port=" + port,   "--sendxml=" + xml,         "--search_path=" + m_pkg + "/",
            "--noprompt",       "--showpercentagecomplete", "--zlpawarehost=1",
            "--memoryname=eMMC"};
        if (wipe) a.push_back("--wipefirst");
        return a;
    }
    std::vector<std::string> ActivateArgs(const std::string& port) {
        return {"--port=" + port,   "--noprompt",        "--showpercentagecomplete",
                "--zlpawarehost=1", "--memoryname=eMMC", "--setactivepartition=0",
                "--reset"};
    }

    ScopedTempCwd m_tmp;
    std::string m_pkg, m_storage;
    std::string m_boot, m_offset, m_backup, m_raw1, m_raw2, m_sbl;
};

TEST_F(EdlPackage, FlashesImagesPatchesAndResetsByteForByte) {
    // Old contents: the sparse image's don't-care blocks must come out erased
    // with --wipefirst, sectors outside every region must stay as they were.
    std::string disk(kStorageBytes, '\0');
    Put(disk, 1000 * 512, std::string(64 * 512, '\xAA'));
    Put(disk, 9000 * 512, std::string(512, '\x55'));
    Put(disk, 9001 * 512, std::string(2 * 512, '\x66'));  // cleared by the <erase> tag
    WriteFile(m_storage, disk);
    Put(disk, 9001 * 512, std::string(2 * 512, '\0'));
    Put(disk, 1000 * 512, std::string(64 * 512, '\0'));

    EdlRig rig(m_storage, kStorageBytes);
    ToolRun sahara = RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs);
    ASSERT_EQ(sahara.exitCode, 0) << sahara.output;
    EXPECT_TRUE(sahara.Printed("Sahara protocol completed\r\n")) << sahara.output;

    ToolRun raw = RunTool("firehorse", FhArgs(rig.Port(), "rawprogram0.xml", true), kTimeoutMs);
    ASSERT_EQ(raw.exitCode, 0) << raw.output;
    ToolRun patch = RunTool("firehorse", FhArgs(rig.Port(), "patch0.xml"), kTimeoutMs);
    ASSERT_EQ(patch.exitCode, 0) << patch.output;
    ToolRun activate = RunTool("firehorse", ActivateArgs(rig.Port()), kTimeoutMs);
    ASSERT_EQ(activate.exitCode, 0) << activate.output;
    gf::sim::EdlOutcome outcome{};
    ASSERT_TRUE(rig.WaitOutcome(5000, outcome));
    EXPECT_EQ(outcome, gf::sim::EdlOutcome::Reset);

    for (const ToolRun* run : {&sahara, &raw, &patch, &activate})
        EXPECT_TRUE(LinesEndInCrLf(run->output)) << run->output;
    EXPECT_TRUE(raw.Printed("FH_LOADER WAS CALLED EXACTLY LIKE THIS\r\n"));
    EXPECT_TRUE(raw.Printed("--sendxml=rawprogram0.xml"));
    for (const char* name : {"boot.img", "offset.bin", "system.img", "gpt_backup0.bin", "sbl1.mbn"})
        EXPECT_TRUE(raw.Printed(std::string("In handleProgram('") + name + "')")) << name;
    EXPECT_FALSE(raw.Printed("In handleProgram('')"));
    EXPECT_TRUE(raw.Printed("{percent files transferred  100.00%}\r\n")) << raw.output;
    EXPECT_FALSE(raw.Printed("ERROR:"));

    Put(disk, 34 * 512, m_boot + std::string(120, '\0'));
    Put(disk, 200 * 512, m_offset.substr(512) + std::string(1536 - 1124, '\0'));
    std::string sparse = m_raw1 + std::string();
    for (int i = 0; i < 1024; ++i) sparse += Le(0xDEADBEEF, 4);
    sparse += std::string(2 * 4096, '\0') + m_raw2;
    Put(disk, 1000 * 512, sparse);
    Put(disk, (kDiskSectors - 33) * 512, m_backup);
    Put(disk, 512, Le(kDiskSectors - 1, 8));
    Put(disk, 512 + 16, Le(gf::edl::Crc32(disk.data() + 34 * 512, 5120), 4));
    const std::string flashed = ReadFile(m_storage);
    ASSERT_EQ(flashed.size(), disk.size());
    for (uint64_t s = 0; s < kDiskSectors; ++s)
        ASSERT_EQ(0, std::memcmp(flashed.data() + s * 512, disk.data() + s * 512, 512))
            << "sector " << s << " differs";
    EXPECT_EQ(ReadFile(m_storage + ".boot1").substr(0, 1024), m_sbl);
}

// A device that refuses one command: the run that sends it prints the device's
// reason after "ERROR:" and exits non-zero; the runs before it pass.
struct NakCase {
    const char* command;
    int failingRun;  // 0 rawprogram, 1 patch, 2 activation
};
void PrintTo(const NakCase& c, std::ostream* os) {
    *os << c.command;
}
class EdlNak : public EdlPackage, public ::testing::WithParamInterface<NakCase> {};

TEST_P(EdlNak, RefusedCommandFailsItsRun) {
    gf::sim::EdlKnobs knobs;
    knobs.nakCommand = GetParam().command;
    EdlRig rig(m_storage, kStorageBytes, knobs);
    ASSERT_EQ(RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs).exitCode, 0);
    const std::vector<std::vector<std::string>> runs{FhArgs(rig.Port(), "rawprogram0.xml"),
                                                     FhArgs(rig.Port(), "patch0.xml"),
                                                     ActivateArgs(rig.Port())};
    for (int i = 0; i <= GetParam().failingRun; ++i) {
        ToolRun run = RunTool("firehorse", runs[static_cast<std::size_t>(i)], kTimeoutMs);
        if (i < GetParam().failingRun) {
            ASSERT_EQ(run.exitCode, 0) << run.output;
            continue;
        }
        EXPECT_NE(run.exitCode, 0) << run.output;
        EXPECT_FALSE(run.hung);
        EXPECT_TRUE(run.Printed("failed on the target")) << run.output;
        EXPECT_EQ(Count(run.output, "ERROR:"), 1u) << run.output;  // the runner reads the first
        EXPECT_FALSE(run.Printed("All Finished Successfully"));
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, EdlNak,
                         ::testing::Values(NakCase{"configure", 0}, NakCase{"program", 0},
                                           NakCase{"patch", 1},
                                           NakCase{"setbootablestoragedrive", 2}),
                         [](const auto& info) { return std::string(info.param.command); });

// Faults in the middle of a large image: a stalled device (present, silent) and
// one that leaves the bus. Both end the tool with an error well within its
// timeouts instead of hanging.
TEST_F(EdlPackage, StalledOrVanishedDeviceEndsTheRunWithAnError) {
    WriteFile(m_pkg + "/big.bin", RandomBytes(4 << 20, 7));
    WriteFile(
        m_pkg + "/big.xml",
        R"XML(<data><program SECTOR_SIZE_IN_BYTES="512" filename="big.bin" num_partition_sectors="0" physical_partition_number="0" start_sector="2048" /></data>)XML");
    for (bool vanish : {false, true}) {
        SCOPED_TRACE(vanish ? "vanish" : "stall");
        gf::sim::EdlKnobs knobs;
        (vanish ? knobs.vanishAtPercent : knobs.stallAtPercent) = 50;
        EdlRig rig(m_storage, kStorageBytes, knobs);
        ASSERT_EQ(RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs).exitCode, 0);
        ToolRun run = RunTool("firehorse", FhArgs(rig.Port(), "big.xml"), kTimeoutMs, 15000);
        EXPECT_FALSE(run.hung);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.Printed("ERROR: Sending 'big.bin' failed: ")) << run.output;
        EXPECT_TRUE(run.Printed(vanish ? "device disconnected" : "write timeout")) << run.output;
        EXPECT_TRUE(run.Printed("In handleProgram('big.bin')"));
        gf::sim::EdlOutcome outcome{};
        if (vanish) {
            ASSERT_TRUE(rig.WaitOutcome(5000, outcome));
            EXPECT_EQ(outcome, gf::sim::EdlOutcome::Vanished);
        } else {
            EXPECT_FALSE(rig.WaitOutcome(0, outcome));  // stalled, still present
        }
    }
}

TEST_F(EdlPackage, RateLimitedDeviceStillReceivesEverything) {
    WriteFile(m_pkg + "/mid.bin", RandomBytes(256 << 10, 8));
    WriteFile(
        m_pkg + "/mid.xml",
        R"XML(<data><program SECTOR_SIZE_IN_BYTES="512" filename="mid.bin" num_partition_sectors="0" physical_partition_number="0" start_sector="4096" /></data>)XML");
    gf::sim::EdlKnobs knobs;
    knobs.bytesPerSecond = 2e6;
    EdlRig rig(m_storage, kStorageBytes, knobs);
    ASSERT_EQ(RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs).exitCode, 0);
    ToolRun run = RunTool("firehorse", FhArgs(rig.Port(), "mid.xml"), kTimeoutMs);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadFile(m_storage).substr(4096 * 512, 256 << 10), ReadFile(m_pkg + "/mid.bin"));
}

// Programmers the device does not accept are refused through Sahara, and
// Firehose before any programmer is refused too; the device then starts over
// and takes a good one.
TEST_F(EdlPackage, ForeignProgrammerIsRefusedThenAGoodOneAccepted) {
    WriteFile(m_pkg + "/prog_foreign.mbn", RandomBytes(200000, 9));
    WriteFile(m_pkg + "/prog_tiny.mbn", "0123456789");
    EdlRig rig(m_storage, kStorageBytes);
    ToolRun early = RunTool("firehorse", FhArgs(rig.Port(), "rawprogram0.xml"), kTimeoutMs);
    EXPECT_NE(early.exitCode, 0);
    EXPECT_TRUE(early.Printed("still in Sahara mode")) << early.output;
    for (const char* bad : {"prog_foreign.mbn", "prog_tiny.mbn"}) {
        ToolRun run =
            RunTool("sahara", {"-p", rig.Port(), "-s", "13:" + m_pkg + "/" + bad}, kTimeoutMs);
        EXPECT_NE(run.exitCode, 0) << bad;
        EXPECT_FALSE(run.hung);
        EXPECT_TRUE(run.Printed("ERROR: ")) << run.output;
        EXPECT_FALSE(run.Printed("Sahara protocol completed")) << run.output;
    }
    ToolRun good = RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs);
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_TRUE(good.Printed("Sahara protocol completed"));
    // A second Sahara run (a retried job) finds the programmer running.
    ToolRun again = RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs);
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_TRUE(again.Printed("already running")) << again.output;
    EXPECT_TRUE(again.Printed("Sahara protocol completed"));
    EXPECT_EQ(RunTool("firehorse", ActivateArgs(rig.Port()), kTimeoutMs).exitCode, 0);
}

// Another opener of the port swallowed the device's HELLO: the host's
// unsolicited HELLO_RESP gets the transfer going.
TEST_F(EdlPackage, HelloTakenByAnotherOpenerIsRecovered) {
    EdlRig rig(m_storage, kStorageBytes);
    int other = ::open(rig.Port().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    char hello[0x30];
    std::size_t got = 0;
    while (got < sizeof hello) {
        pollfd p{other, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1) << "no HELLO from the device";
        ssize_t n = ::read(other, hello + got, sizeof hello - got);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(hello[0], 0x01);  // HELLO
    ToolRun run = RunTool("sahara", SaharaArgs(rig.Port()), kTimeoutMs);
    ::close(other);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(run.Printed("Sahara protocol completed"));
}

// Ports where nothing answers, or that do not exist: errors, never a hang.
TEST_F(EdlPackage, SilentOrUnknownPortsFail) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string silent = ::ptsname(master);
    struct Case {
        const char* tool;
        std::vector<std::string> args;
        const char* text;
    } cases[] = {
        {"sahara", SaharaArgs(silent), "ERROR: Sahara protocol timeout"},
        {"firehorse", FhArgs(silent, "rawprogram0.xml"), "ERROR: No answer to <configure>"},
        {"sahara", SaharaArgs("COM77"), "COM77"},
        {"firehorse", FhArgs("\\\\.\\COM78", "rawprogram0.xml"), "COM78"},
        {"firehorse", FhArgs(silent, "missing.xml"),
         "ERROR: Could not find XML file 'missing.xml'"},
    };
    for (const Case& c : cases) {
        ToolRun run = RunTool(c.tool, c.args, kTimeoutMs, 15000);
        EXPECT_FALSE(run.hung) << c.tool;
        EXPECT_NE(run.exitCode, 0) << run.output;
        EXPECT_TRUE(run.Printed(c.text)) << run.output;
        EXPECT_TRUE(run.Printed("ERROR: ")) << run.output;
    }
    ::close(master);
}

}  // namespace
}  // namespace gf::test
