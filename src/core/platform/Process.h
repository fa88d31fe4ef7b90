#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace gf {

class StopSignal;

// How a child process ended.
struct ExitStatus {
    bool exited = false;    // ended by exit(); `code` holds the status
    int code = 0;
    bool signaled = false;  // killed by a signal; `signal` holds it
    int signal = 0;
};

// A started loader tool: its merged stdout/stderr pipe and its process.
// Destroying it closes the read end; the child is reaped once it ends, so no
// zombie is left whether or not Wait was called.
class IToolProcess {
public:
    virtual ~IToolProcess() = default;
    virtual int Pid() const = 0;
    // Reads up to `size` bytes of output. Returns the count, 0 at the end of the
    // output, -1 on a read error or when `stop` was requested while waiting.
    virtual long Read(char* buffer, std::size_t size, StopSignal* stop) = 0;
    // Waits for the process to end (or `stop`); false when interrupted.
    virtual bool Wait(ExitStatus& status, StopSignal* stop) = 0;
};

// Starts loader tools: the command line is split into arguments by the Windows
// rules (blanks separate, double quotes group, backslashes before quotes
// escape), no shell is involved, stdout and stderr share one pipe that no other
// child inherits, and the working directory is set.
class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    // Returns null and sets `error` when the pipe or the process cannot be made;
    // `pipeFailed` tells which of the two failed.
    virtual std::unique_ptr<IToolProcess> Start(const std::string& commandLine,
                                                const std::string& workDir, std::string& error,
                                                bool& pipeFailed) = 0;
};

// The running processes, looked up by executable name (case-insensitive).
class IProcessTable {
public:
    virtual ~IProcessTable() = default;
    // Terminates the first process whose name matches; true when one was killed.
    virtual bool KillProcessByName(const std::string& name) = 0;
    // True when a process of that name runs and may be signalled by us.
    virtual bool IsProcessRunning(const std::string& name) = 0;
};

}  // namespace gf
