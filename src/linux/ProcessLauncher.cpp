#include "ProcessLauncher.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "job/CommandLine.h"
#include "platform/StopSignal.h"

extern char** environ;

namespace gf {

namespace {

// How often a blocked read or wait looks at its stop request.
constexpr int kStopPollMs = 100;
// How long output of a tool that prints a little at a time may gather before
// it is read: far below what the status line and the one-second heartbeat
// can show, and it spares most of the wake-ups of a line-by-line tool.
constexpr auto kGatherTime = std::chrono::milliseconds(100);
constexpr std::size_t kSparseBytes = 4096;

void ToStatus(int raw, ExitStatus& status) {
    status = ExitStatus{};
    if (WIFEXITED(raw)) {
        status.exited = true;
        status.code = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        status.signaled = true;
        status.signal = WTERMSIG(raw);
    }
}

class ToolProcess : public IToolProcess {
public:
    ToolProcess(pid_t pid, int readFd) : m_pid(pid), m_fd(readFd) {}

    ~ToolProcess() override {
        if (m_fd >= 0) ::close(m_fd);
        if (m_reaped) return;
        int raw = 0;
        pid_t r;
        do r = ::waitpid(m_pid, &raw, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r != 0) return;  // reaped now (or not ours any more)
        // Still running (a tool that went on after its last marker, or one that
        // will be killed by name): reap it whenever it ends.
        pid_t pid = m_pid;
        try {
            std::thread([pid] {
                int st = 0;
                while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the process stays a zombie until the station ends.
        }
    }

    int Pid() const override { return m_pid; }

    long Read(char* buffer, std::size_t size, StopSignal* stop) override {
        bool gathered = false;
        for (;;) {
            if (stop != nullptr && stop->IsRequested()) return -1;
            ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0) {
                m_sinceWait += static_cast<std::size_t>(n);
                return static_cast<long>(n);
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return -1;
            // Nothing to read now. A tool that printed less than a page since
            // the last wait prints a little at a time: let more gather before
            // waking again, so one wake-up serves many lines.
            const bool sparse = m_sinceWait > 0 && m_sinceWait < kSparseBytes;
            m_sinceWait = 0;
            if (sparse && !gathered) {
                gathered = true;
                if (stop != nullptr) {
                    if (stop->WaitFor(kGatherTime)) return -1;
                } else {
                    std::this_thread::sleep_for(kGatherTime);
                }
                continue;
            }
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, stop != nullptr ? kStopPollMs : -1) < 0 && errno != EINTR) return -1;
        }
    }

    bool Wait(ExitStatus& status, StopSignal* stop) override {
        if (m_reaped) {
            status = m_status;
            return true;
        }
        // The tool has normally closed its output just before exiting, so the
        // first checks come quickly; later ones back off.
        int pauseMs = 1;
        for (;;) {
            int raw = 0;
            pid_t r = ::waitpid(m_pid, &raw, WNOHANG);
            if (r == m_pid) {
                ToStatus(raw, m_status);
                m_reaped = true;
                status = m_status;
                return true;
            }
            if (r < 0 && errno != EINTR) {
                status = ExitStatus{};
                m_reaped = true;  // not our child any more; nothing to reap
                return false;
            }
            if (stop != nullptr) {
                if (stop->WaitFor(std::chrono::milliseconds(pauseMs))) return false;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
            pauseMs = std::min(pauseMs * 2, kStopPollMs);
        }
    }

private:
    pid_t m_pid;
    int m_fd;
    bool m_reaped = false;
    std::size_t m_sinceWait = 0;  // bytes read since the last wait
    ExitStatus m_status;
};

}  // namespace

std::unique_ptr<IToolProcess> ProcessLauncher::Start(const std::string& commandLine,
                                                     const std::string& workDir, std::string& error,
                                                     bool& pipeFailed) {
    pipeFailed = false;
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        error = "empty command line";
        return nullptr;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        pipeFailed = true;
        return nullptr;
    }
    // Our end never blocks: reads wait in poll, where a stop request is seen.
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    // The tool starts with default signal dispositions and nothing blocked,
    // whatever the station has set for itself.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        error = std::string(args[0]) + ": " + std::strerror(rc);
        return nullptr;
    }
    return std::make_unique<ToolProcess>(pid, fds[0]);
}

}  // namespace gf
