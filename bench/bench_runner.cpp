// Loader tool runner: throughput on a tool that prints as fast as it can
// (one slot, heartbeat on), and the station's CPU time while eight tools print
// one line every 10 ms. The program is its own tool: run with --flood BYTES or
// --lines COUNT MS it prints instead of measuring. With "throughput" or "cpu"
// only that part runs.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ProcessLauncher.h"
#include "ProfileFile.h"
#include "RealClock.h"
#include "job/DownloadProc.h"

using namespace gf;
using Clock = std::chrono::steady_clock;

namespace {

void WriteAll(const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(1, data.data() + done, data.size() - done);
        if (n <= 0) std::exit(3);
        done += static_cast<std::size_t>(n);
    }
}

int Flood(long long total) {
    std::string chunk;
    while (chunk.size() < 64 * 1024) chunk += std::string(62, 'x') + "\r\n";
    while (total > 0) {
        auto n = static_cast<std::size_t>(std::min<long long>(total, chunk.size()));
        WriteAll(n == chunk.size() ? chunk : chunk.substr(0, n));
        total -= static_cast<long long>(n);
    }
    return 0;
}

int Lines(long count, long ms) {
    const std::string line = "{percent files transferred 45.67%}\r\n";
    auto next = Clock::now();
    for (long i = 0; i < count; ++i) {
        WriteAll(line);
        next += std::chrono::milliseconds(ms);
        std::this_thread::sleep_until(next);
    }
    return 0;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]).rfind("--", 0) == 0) {
        prctl(PR_SET_NAME, "gf_bench_tool");  // apart from the station in profiles
    }
    if (argc == 3 && std::string(argv[1]) == "--flood") return Flood(std::atoll(argv[2]));
    if (argc == 4 && std::string(argv[1]) == "--lines") {
        return Lines(std::atol(argv[2]), std::atol(argv[3]));
    }
    const std::string only = argc > 1 ? argv[1] : "";
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    const auto dir =
        std::filesystem::temp_directory_path() / ("gfbench_runner." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "Log");
    std::filesystem::current_path(dir);

    RealClock clock;
    ProfileFile profile;
    ProcessLauncher launcher;
    Services services;
    services.clock = &clock;
    services.profile = &profile;
    services.launcher = &launcher;
    services.workRoot = (dir / "work").string() + "/";

    auto makeJob = [&](int slot) {
        auto job = std::make_unique<CDownloadProc>();
        job->m_services = services;
        job->m_nSlot = slot;
        job->m_nDownloadTimeout = 20;  // heartbeat on
        job->m_strLogPath = (dir / ("slot" + std::to_string(slot) + ".log")).string();
        job->m_fileLog.Open(job->m_strLogPath);
        std::filesystem::create_directories(job->WorkDir());
        return job;
    };

    bool ok = true;
    if (only != "cpu") {
        constexpr long long kBytes = 128LL * 1024 * 1024;
        auto job = makeJob(0);
        auto start = Clock::now();
        ok &= job->RunTool(self + " --flood " + std::to_string(kBytes));
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ok &= std::filesystem::file_size(job->m_strLogPath) == static_cast<std::uintmax_t>(kBytes);
        std::cout << "runner_throughput_1_slot: " << kBytes / seconds / 1e6 << " MB/s\n";
        std::filesystem::remove(job->m_strLogPath);
    }
    if (only != "throughput") {
        constexpr int kSlots = 8;
        constexpr long kLines = 1000;  // 10 s at one line per 10 ms
        std::vector<std::unique_ptr<CDownloadProc>> jobs;
        for (int slot = 0; slot < kSlots; ++slot) jobs.push_back(makeJob(slot));
        std::vector<int> results(kSlots, 0);
        const double cpuBefore = CpuSeconds();
        auto start = Clock::now();
        std::vector<std::thread> threads;
        for (int slot = 0; slot < kSlots; ++slot) {
            threads.emplace_back([&, slot] {
                results[slot] =
                    jobs[slot]->RunTool(self + " --lines " + std::to_string(kLines) + " 10");
            });
        }
        for (auto& t : threads) t.join();
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        double cpu = CpuSeconds() - cpuBefore;
        for (int r : results) ok &= r != 0;
        std::cout << "station_cpu_8_slots_line_per_10ms: " << cpu * 60.0 / wall << " cpu-s/min\n";
        std::cout << "station_cpu_8_slots_line_per_10ms_core_share: " << cpu / wall * 100.0
                  << " %\n";
    }
    std::cout << "runner_runs_succeeded: " << (ok ? 1 : 0) << " bool\n";

    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
