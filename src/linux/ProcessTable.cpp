#include "ProcessTable.h"

#include <dirent.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace gf {

namespace {

constexpr std::size_t kCommLength = 15;

bool SameName(const std::string& comm, const std::string& name) {
    std::string want = name.substr(0, kCommLength);
    if (comm.size() != want.size()) return false;
    for (std::size_t i = 0; i < comm.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(comm[i])) !=
            std::tolower(static_cast<unsigned char>(want[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<int> ListPids() {
    std::vector<int> pids;
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) return pids;
    while (dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (*n == '\0' || !std::all_of(n, n + std::char_traits<char>::length(n),
                                       [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        pids.push_back(std::atoi(n));
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

// True when `pid` is a live (not zombie) process named `name` whose parent is
// `parent` (any parent when 0).
bool Matches(int pid, const std::string& name, int parent) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::string comm;
    {
        std::ifstream in(base + "/comm");
        if (!std::getline(in, comm)) return false;
    }
    if (!SameName(comm, name)) return false;
    // State is the field after the parenthesised name, which may hold blanks.
    std::ifstream stat(base + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    auto close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size()) return false;
    char state = line[close + 2];
    if (state == 'Z' || state == 'X') return false;
    return parent == 0 || std::atoi(line.c_str() + close + 4) == parent;
}

}  // namespace

bool ProcessTable::KillProcessByName(const std::string& name) {
    for (int pid : ListPids()) {
        if (Matches(pid, name, m_parent)) return ::kill(pid, SIGKILL) == 0;
    }
    return false;
}

bool ProcessTable::IsProcessRunning(const std::string& name) {
    for (int pid : ListPids()) {
        if (Matches(pid, name, m_parent) && ::kill(pid, 0) == 0) return true;
    }
    return false;
}

}  // namespace gf
