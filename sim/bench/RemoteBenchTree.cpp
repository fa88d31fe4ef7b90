#include "RemoteBenchTree.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace gf::sim {

namespace {

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

std::string DirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

RemoteBenchTree::RemoteBenchTree(std::string descriptionPath, int recheckMs)
    : m_path(std::move(descriptionPath)), m_recheckMs(recheckMs) {}

RemoteBenchTree::~RemoteBenchTree() {
    if (m_watcher.joinable()) {
        char c = 'q';
        (void)!::write(m_wakeFd[1], &c, 1);
        m_watcher.join();
    }
    for (int fd : m_wakeFd) {
        if (fd >= 0) ::close(fd);
    }
}

BenchDescription RemoteBenchTree::Read() {
    BenchDescription d;
    std::string text, error;
    if (!IsDescriptionOwned(m_path) || !ReadText(m_path, text) ||
        !ParseBenchDescription(text, d, error)) {
        return {};
    }
    return d;
}

std::vector<DeviceNode> RemoteBenchTree::Snapshot() {
    return Read().nodes;
}

std::string RemoteBenchTree::Signature() {
    std::string text;
    if (!IsDescriptionOwned(m_path) || !ReadText(m_path, text)) return "-";
    return "+" + text;
}

void RemoteBenchTree::SetListener(std::function<void()> onChange) {
    std::lock_guard lock(m_mutex);
    m_listener = std::move(onChange);
    if (!m_watcher.joinable() && ::pipe2(m_wakeFd, O_CLOEXEC) == 0) {
        // The baseline is taken here, so a change right after this call is seen.
        m_watcher = std::thread([this, baseline = Signature()] { Watch(baseline); });
    }
}

void RemoteBenchTree::Watch(std::string last) {
    int ino = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (ino >= 0) {
        ::inotify_add_watch(ino, DirOf(m_path).c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_CREATE);
    }
    for (;;) {
        pollfd fds[2] = {{m_wakeFd[0], POLLIN, 0}, {ino, POLLIN, 0}};
        int n = ::poll(fds, ino >= 0 ? 2 : 1, m_recheckMs);
        if (n > 0 && (fds[0].revents & POLLIN)) break;
        if (ino >= 0 && (fds[1].revents & POLLIN)) {
            char buf[4096];
            while (::read(ino, buf, sizeof buf) > 0) {
            }
        }
        std::string now = Signature();
        if (now == last) continue;
        last = now;
        std::function<void()> listener;
        {
            std::lock_guard lock(m_mutex);
            listener = m_listener;
        }
        if (listener) listener();
    }
    if (ino >= 0) ::close(ino);
}

}  // namespace gf::sim
