// Heartbeat writes per second: eight jobs logging at once, each refreshing its
// own status-board key on every write, then a check that every slot's final
// value is on the board. Also the raw profile-write rate without the
// one-value-per-second shortcut.
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "ProfileFile.h"
#include "RealClock.h"
#include "job/DownloadProc.h"
#include "job/StatusBoard.h"

using namespace gf;
using Clock = std::chrono::steady_clock;

int main() {
    const auto dir = std::filesystem::temp_directory_path() / ("gfbench." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "Log");
    std::filesystem::current_path(dir);

    RealClock clock;
    ProfileFile profile;
    Services services;
    services.clock = &clock;
    services.profile = &profile;

    constexpr int kThreads = 8;
    constexpr auto kDuration = std::chrono::seconds(2);

    // Through the job's log writer (what the station does).
    std::vector<std::unique_ptr<CDownloadProc>> jobs;
    for (int slot = 0; slot < kThreads; ++slot) {
        auto job = std::make_unique<CDownloadProc>();
        job->m_services = services;
        job->m_nSlot = slot;
        job->m_nDownloadTimeout = 20;
        job->m_strLogPath = (dir / ("slot" + std::to_string(slot) + ".log")).string();
        job->m_fileLog.Open(job->m_strLogPath);
        jobs.push_back(std::move(job));
    }
    std::vector<long> counts(kThreads);
    std::vector<std::thread> threads;
    auto start = Clock::now();
    for (int slot = 0; slot < kThreads; ++slot) {
        threads.emplace_back([&, slot] {
            long n = 0;
            while (Clock::now() - start < kDuration) {
                jobs[slot]->WriteLog("x", 1);
                ++n;
            }
            counts[slot] = n;
        });
    }
    for (auto& t : threads) t.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    long total = 0;
    for (long c : counts) total += c;
    std::cout << "heartbeat_writes_8_threads: " << static_cast<long>(total / seconds)
              << " writes/s\n";

    bool allPresent = true;
    for (int slot = 0; slot < kThreads; ++slot) {
        std::string expected = jobs[slot]->FormatTimestamp() + ":Dload Process is running";
        std::string stored = profile.GetString(kStatusBoardPath, kBoardLogSection,
                                               StatusBoardKey(slot), "");
        // The value carries the second of the last write; allow the second that just ended.
        if (stored.size() != expected.size() ||
            stored.find(":Dload Process is running") == std::string::npos) {
            allPresent = false;
        }
    }
    std::cout << "heartbeat_final_values_present: " << (allPresent ? 8 : 0) << " of 8 slots\n";

    // Raw profile writes: every call rewrites the file.
    threads.clear();
    std::fill(counts.begin(), counts.end(), 0);
    start = Clock::now();
    for (int slot = 0; slot < kThreads; ++slot) {
        threads.emplace_back([&, slot] {
            long n = 0;
            while (Clock::now() - start < std::chrono::seconds(1)) {
                profile.WriteString("Log/raw.ini", kBoardLogSection, StatusBoardKey(slot),
                                    std::to_string(n));
                ++n;
            }
            counts[slot] = n;
        });
    }
    for (auto& t : threads) t.join();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    total = 0;
    bool rawPresent = true;
    for (int slot = 0; slot < kThreads; ++slot) {
        total += counts[slot];
        rawPresent &= profile.GetString("Log/raw.ini", kBoardLogSection, StatusBoardKey(slot), "") ==
                      std::to_string(counts[slot] - 1);
    }
    std::cout << "profile_raw_writes_8_threads: " << static_cast<long>(total / seconds)
              << " writes/s\n";
    std::cout << "profile_raw_final_values_present: " << (rawPresent ? 8 : 0) << " of 8 slots\n";

    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return allPresent && rawPresent ? 0 : 1;
}
