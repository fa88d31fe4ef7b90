#pragma once

#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "EdlDevice.h"
#include "platform/StopSignal.h"

namespace gf::test {

// What a tool run printed and how it ended.
struct ToolRun {
    int exitCode = -1;
    bool hung = false;  // killed by the harness's guard
    std::string output;
    bool Printed(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// Runs a built tool (path relative to the build directory) with its output on a
// pipe; GF_EDL_TIMEOUT_MS is set to `timeoutMs`. A run that outlives `guardMs`
// is killed and reported as hung.
ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args, int timeoutMs,
                int guardMs = 30000);

// A simulated download-mode device on a fresh pseudo-terminal, served on its
// own thread. The port path is what the tools get as --port / -p.
class EdlRig {
public:
    explicit EdlRig(const std::string& storagePath, uint64_t storageBytes,
                    const gf::sim::EdlKnobs& knobs = {});
    ~EdlRig();
    const std::string& Port() const { return m_port; }
    // Waits for ServeEdl to return (guarded); false when it did not within `ms`.
    bool WaitOutcome(int ms, gf::sim::EdlOutcome& outcome);
    std::vector<std::string> DeviceLog();

private:
    int m_master = -1;
    std::string m_port;
    gf::sim::EdlSession m_session;
    gf::StopSignal m_stop;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    std::future<gf::sim::EdlOutcome> m_outcome;
};

}  // namespace gf::test
