#pragma once

#include "platform/Process.h"

namespace gf {

// Processes by the name in /proc/<pid>/comm (at most 15 characters; longer
// names are compared by their first 15). Zombies are not counted: they have
// ended and cannot be killed again.
class ProcessTable : public IProcessTable {
public:
    // With `parent` non-zero only that process's children are seen, so that
    // tests running side by side never touch each other's tools.
    explicit ProcessTable(int parent = 0) : m_parent(parent) {}
    // Sends SIGKILL to the lowest-numbered matching process; no pause follows.
    bool KillProcessByName(const std::string& name) override;
    bool IsProcessRunning(const std::string& name) override;

private:
    int m_parent;
};

}  // namespace gf
