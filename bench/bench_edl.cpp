// Emergency-download throughput: the raw rate of a pseudo-terminal pair, then
// `firehorse` writing a 256 MiB image through the same pair into a simulated
// device with no rate limit (target: at least 90% of the raw rate). Then eight
// devices at 20 MB/s each in parallel against one alone (wall-time ratio).
// Raw and tool runs alternate over five rounds on the same pair; the rates are
// the best of each, the ratio is the median of the per-round ratios (adjacent
// runs share the machine's load best).
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "EdlDevice.h"
#include "SerialPort.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int OpenPty(std::string& slave) {
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0 || ::grantpt(m) != 0 || ::unlockpt(m) != 0) return -1;
    slave = ::ptsname(m);
    return m;
}

// Tool output goes to this file, shown when a run fails.
std::string g_toolLog = "/dev/null";

pid_t Spawn(const std::string& tool, std::vector<std::string> args) {
    std::string path = std::string(GF_BIN_DIR) + "/" + tool;
    args.insert(args.begin(), path);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, g_toolLog.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool Wait(pid_t pid) {
    int status = 0;
    bool ok = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
              WEXITSTATUS(status) == 0;
    if (!ok) {
        std::ifstream in(g_toolLog);
        std::fprintf(stderr, "tool run failed; output so far:\n%s\n",
                     std::string(std::istreambuf_iterator<char>(in), {}).c_str());
    }
    return ok;
}

void WriteImage(const std::string& path, std::size_t mib) {
    std::vector<char> block(1 << 20);
    std::mt19937 rng(42);
    for (char& c : block) c = static_cast<char>(rng());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < mib; ++i) {
        block[0] = static_cast<char>(i);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

void WriteXml(const std::string& path, const std::string& image) {
    std::ofstream(path) << "<data><program SECTOR_SIZE_IN_BYTES=\"512\" filename=\"" << image
                        << "\" num_partition_sectors=\"0\" physical_partition_number=\"0\" "
                           "start_sector=\"0\" /></data>\n";
}

// One simulated device served on its own thread; owns its pty master.
struct Device {
    int master = -1;
    std::string port;
    gf::sim::EdlSession session;
    gf::StopSignal stop;
    std::future<gf::sim::EdlOutcome> served;

    Device(const std::string& storage, uint64_t bytes, double rate) {
        master = OpenPty(port);
        session.storagePath = storage;
        session.storageBytes = bytes;
        session.knobs.bytesPerSecond = rate;
        served = std::async(std::launch::async,
                            [this] { return gf::sim::ServeEdl(master, session, stop); });
    }
    ~Device() {
        stop.Request();
        served.wait();
        ::close(master);
    }
    pid_t StartFlash(const std::string& dir, const std::string& xml) {
        return Spawn(
            "firehorse",
            {"--port=" + port, "--sendxml=" + xml, "--search_path=" + dir + "/", "--noprompt",
             "--showpercentagecomplete", "--zlpawarehost=1", "--memoryname=eMMC"});
    }
};

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("gfbench_edl." + std::to_string(::getpid()));
    fs::create_directories(dir);
    g_toolLog = (dir / "tools.log").string();
    const std::string prog = (dir / "prog_firehose.mbn").string();
    std::string error;
    if (!gf::sim::MakeProgrammerImage(prog, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    constexpr std::size_t kMiB = 256;
    const double bytes = static_cast<double>(kMiB << 20);
    WriteImage((dir / "big.img").string(), kMiB);
    WriteXml((dir / "big.xml").string(), "big.img");

    // The machine is shared, so raw and tool runs alternate on the same pair.
    std::string slave;
    const int master = OpenPty(slave);
    double rawMBs = 0, toolMBs = 0;
    std::vector<double> ratios;
    for (int round = 0; round < 5; ++round) {
        // Raw rate of the pair: a plain blocking reader on the master, raw writes
        // on the slave (opened first, so the reader does not see a hang-up).
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) & ~O_NONBLOCK);
        gf::edl::SerialPort port;
        if (!port.Open(slave, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        auto reader = std::async(std::launch::async, [master, total = kMiB << 20] {
            std::vector<char> sink(1 << 20);
            std::size_t got = 0;
            while (got < total) {
                ssize_t n = ::read(master, sink.data(), sink.size());
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            return got;
        });
        std::vector<char> block(1 << 20, 'x');
        auto t0 = Clock::now();
        for (std::size_t i = 0; i < kMiB; ++i) {
            if (!port.Write(block.data(), block.size(), 10000, error)) {
                std::fprintf(stderr, "raw write: %s\n", error.c_str());
                return 1;
            }
        }
        if (reader.get() != kMiB << 20) {
            std::fprintf(stderr, "raw reader lost data\n");
            return 1;
        }
        const double roundRaw = bytes / Seconds(t0) / 1e6;
        rawMBs = std::max(rawMBs, roundRaw);
        port.Close();

        // The same pair as a simulated device, written by firehorse.
        gf::StopSignal stop;
        gf::sim::EdlSession session;
        session.storagePath = (dir / "emmc0.bin").string();
        session.storageBytes = 512ull << 20;
        auto served = std::async(std::launch::async,
                                 [&] { return gf::sim::ServeEdl(master, session, stop); });
        bool ok = Wait(Spawn("sahara", {"-p", slave, "-s", "13:" + prog}));
        t0 = Clock::now();
        ok = ok && Wait(Spawn("firehorse", {"--port=" + slave, "--sendxml=big.xml",
                                            "--search_path=" + dir.string() + "/", "--noprompt",
                                            "--showpercentagecomplete", "--zlpawarehost=1",
                                            "--memoryname=eMMC"}));
        const double spent = Seconds(t0);
        stop.Request();
        served.wait();
        fs::remove(dir / "emmc0.bin");
        if (!ok) {
            std::fprintf(stderr, "sahara or firehorse failed\n");
            return 1;
        }
        toolMBs = std::max(toolMBs, bytes / spent / 1e6);
        ratios.push_back(bytes / spent / 1e6 / roundRaw);
    }
    ::close(master);
    fs::remove(dir / "big.img");
    std::printf("pty_raw_throughput: %.1f MB/s\n", rawMBs);
    std::printf("firehorse_throughput: %.1f MB/s\n", toolMBs);
    std::sort(ratios.begin(), ratios.end());
    std::printf("firehorse_vs_raw_best: %.1f %%\n", 100.0 * toolMBs / rawMBs);
    std::printf("firehorse_vs_raw_median_round: %.1f %%\n", 100.0 * ratios[ratios.size() / 2]);

    // Eight devices at 20 MB/s each, against one alone.
    constexpr double kRate = 20e6;
    constexpr std::size_t kEachMiB = 40;
    WriteImage((dir / "mid.img").string(), kEachMiB);
    WriteXml((dir / "mid.xml").string(), "mid.img");
    auto flashAll = [&](int count) {
        std::vector<std::unique_ptr<Device>> devices;
        for (int i = 0; i < count; ++i)
            devices.push_back(std::make_unique<Device>(
                (dir / ("emmc_" + std::to_string(i) + ".bin")).string(), 64ull << 20, kRate));
        for (auto& d : devices)
            if (!Wait(Spawn("sahara", {"-p", d->port, "-s", "13:" + prog}))) return -1.0;
        const auto t0 = Clock::now();
        std::vector<pid_t> pids;
        for (auto& d : devices) pids.push_back(d->StartFlash(dir.string(), "mid.xml"));
        bool ok = true;
        for (pid_t p : pids) ok = Wait(p) && ok;
        return ok ? Seconds(t0) : -1.0;
    };
    const double one = flashAll(1);
    const double eight = flashAll(8);
    std::printf("one_device_20MBps_wall: %.2f s\n", one);
    std::printf("eight_devices_20MBps_wall: %.2f s\n", eight);
    std::printf("eight_vs_one_wall: %.1f %%\n", one > 0 ? 100.0 * eight / one : -1.0);
    fs::remove_all(dir);
    return one > 0 && eight > 0 ? 0 : 1;
}
