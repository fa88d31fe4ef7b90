#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "JobFixture.h"
#include "ProcessLauncher.h"
#include "ProcessTable.h"
#include "platform/DeviceTree.h"

namespace gf::test {

inline std::string ScriptToolPath() {
    return std::string(GF_TEST_BIN_DIR) + "/helpers/scripttool";
}

// A fixed list of present devices.
class FixedDevices : public IDeviceTree {
public:
    std::vector<DeviceNode> nodes;
    std::vector<DeviceNode> Snapshot() override { return nodes; }
};

// A job fixture with the real launcher and a process table that sees only
// this test's children, so parallel tests never kill each other's tools.
struct ToolJobFixture : JobFixture {
    ProcessLauncher launcher;
    ProcessTable processes{static_cast<int>(::getpid())};

    ToolJobFixture() {
        services.launcher = &launcher;
        services.processes = &processes;
    }
    // Tools that a test left running (scripts that hang) go with the test.
    ~ToolJobFixture() {
        for (int slot = 0; slot < 8; ++slot) {
            for (const char* base : {"sahara", "firehorse"}) {
                const std::string name = base + std::to_string(slot);
                while (processes.KillProcessByName(name)) {
                }
            }
        }
    }

    std::string WorkDir(int slot) const {
        return services.workRoot + "DL" + std::to_string(slot) + "/";
    }

    // Puts the scripted tool into the slot's working directory as `name`,
    // playing `script`; returns its path.
    std::string InstallTool(int slot, const std::string& name, const std::string& script) {
        std::filesystem::create_directories(WorkDir(slot));
        const std::string path = WorkDir(slot) + name;
        std::filesystem::copy_file(ScriptToolPath(), path,
                                   std::filesystem::copy_options::overwrite_existing);
        WriteFile(path + ".script", script);
        return path;
    }

    // One line per run of the tool: "pid=<pid> [arg1] [arg2] ...".
    std::vector<std::string> Runs(int slot, const std::string& name) const {
        std::vector<std::string> lines;
        std::ifstream in(WorkDir(slot) + name + ".args");
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

    // Runs `body` as the job's procedure on its thread, to the end.
    void RunInJob(const std::shared_ptr<CDownloadProc>& job,
                  std::function<void(CDownloadProc&)> body) {
        job->m_procedureOverride = std::move(body);
        RunToEnd(job);
    }
};

// The arguments a run was given, without its pid.
inline std::string ArgsOf(const std::string& runLine) {
    auto blank = runLine.find(' ');
    return blank == std::string::npos ? "" : runLine.substr(blank + 1);
}

inline int PidOf(const std::string& runLine) {
    return std::atoi(runLine.c_str() + 4);
}

// Waits (bounded) for something a real process does, such as ending.
inline bool Eventually(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// True while /proc has an entry for `pid` (a zombie still has one).
inline bool ProcessExists(int pid) {
    return std::filesystem::exists("/proc/" + std::to_string(pid));
}

}  // namespace gf::test
