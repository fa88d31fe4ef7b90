#include "DeviceMonitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

namespace gf {

namespace {

// Events of one device come in bursts (the USB device, its interfaces, its
// ttys); they are gathered this long into one change.
constexpr int kSettleMs = 150;

udev_monitor* OpenMonitor(udev* u, const char* group) {
    udev_monitor* m = udev_monitor_new_from_netlink(u, group);
    if (m == nullptr) return nullptr;
    udev_monitor_filter_add_match_subsystem_devtype(m, "tty", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(m, "usb", nullptr);
    if (udev_monitor_enable_receiving(m) < 0) {
        udev_monitor_unref(m);
        return nullptr;
    }
    return m;
}

}  // namespace

DeviceMonitor::DeviceMonitor(std::string ttyClassDir, int pollMs)
    : m_dir(std::move(ttyClassDir)), m_pollMs(pollMs) {}

DeviceMonitor::~DeviceMonitor() {
    Stop();
}

std::string DeviceMonitor::TtyList(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& n : names) list += n + "\n";
    return list;
}

void DeviceMonitor::SetListener(std::function<void()> onChange) {
    std::lock_guard lock(m_mutex);
    m_listener = std::move(onChange);
    if (m_thread.joinable() || m_stop.load()) return;
    if (::pipe2(m_wakeFd, O_CLOEXEC | O_NONBLOCK) != 0) m_wakeFd[0] = m_wakeFd[1] = -1;
    // The list is taken here, so a change right after this call is seen.
    m_thread = std::thread([this, initial = TtyList(m_dir)] { Run(initial); });
}

void DeviceMonitor::Stop() {
    m_stop.store(true);
    if (m_wakeFd[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] ssize_t n = ::write(m_wakeFd[1], &c, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    for (int& fd : m_wakeFd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void DeviceMonitor::Notify() {
    std::function<void()> listener;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener) listener();
}

void DeviceMonitor::Run(std::string last) {
    udev* u = udev_new();
    std::vector<udev_monitor*> monitors;
    if (u != nullptr) {
        // udev's events come after the device node is ready; the kernel's
        // arrive even where no udev daemon runs.
        for (const char* group : {"udev", "kernel"}) {
            if (udev_monitor* m = OpenMonitor(u, group)) monitors.push_back(m);
        }
    }
    bool pending = false;
    while (!m_stop.load()) {
        std::vector<pollfd> fds;
        fds.push_back({m_wakeFd[0], POLLIN, 0});
        for (udev_monitor* m : monitors) fds.push_back({udev_monitor_get_fd(m), POLLIN, 0});
        const int n = ::poll(fds.data(), fds.size(), pending ? kSettleMs : m_pollMs);
        if (m_stop.load()) break;
        bool event = false;
        for (std::size_t i = 1; n > 0 && i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) == 0) continue;
            while (udev_device* d = udev_monitor_receive_device(monitors[i - 1])) {
                udev_device_unref(d);
                event = true;
            }
        }
        if (event) {
            pending = true;  // wait for the rest of the burst
            continue;
        }
        if (n < 0 && errno != EINTR) break;
        // Quiet for a while: report a settled burst, else poll the tty list.
        const std::string now = TtyList(m_dir);
        const bool changed = now != last;
        last = now;
        if (pending || changed) {
            pending = false;
            Notify();
        }
    }
    for (udev_monitor* m : monitors) udev_monitor_unref(m);
    if (u != nullptr) udev_unref(u);
}

}  // namespace gf
