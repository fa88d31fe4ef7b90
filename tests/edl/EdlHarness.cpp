#include "EdlHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace gf::test {

ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args, int timeoutMs,
                int guardMs) {
    ToolRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::string path = std::string(GF_TEST_BIN_DIR) + "/" + tool;
    std::vector<std::string> argvText{path};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText{"GF_EDL_TIMEOUT_MS=" + std::to_string(timeoutMs)};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("GF_EDL_TIMEOUT_MS=", 0) != 0) envText.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw std::runtime_error("cannot start " + path);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    char buffer[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
            run.hung = true;
            ::kill(pid, SIGKILL);
            break;
        }
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

EdlRig::EdlRig(const std::string& storagePath, uint64_t storageBytes,
               const gf::sim::EdlKnobs& knobs) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_port = ::ptsname(m_master);
    m_session.storagePath = storagePath;
    m_session.storageBytes = storageBytes;
    m_session.knobs = knobs;
    m_session.log = [this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_log.push_back(line);
    };
    m_outcome = std::async(std::launch::async, [this] {
        gf::sim::EdlOutcome outcome = gf::sim::ServeEdl(m_master, m_session, m_stop);
        // The device is gone: the host sees the port hang up.
        ::close(m_master);
        return outcome;
    });
}

EdlRig::~EdlRig() {
    m_stop.Request();
    if (m_outcome.valid()) m_outcome.wait();
}

bool EdlRig::WaitOutcome(int ms, gf::sim::EdlOutcome& outcome) {
    if (m_outcome.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready)
        return false;
    outcome = m_outcome.get();
    return true;
}

std::vector<std::string> EdlRig::DeviceLog() {
    std::lock_guard lock(m_logMutex);
    return m_log;
}

}  // namespace gf::test
