#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/DeviceTree.h"

namespace gf {

// Device arrival and removal: a udev monitor on the tty and usb subsystems
// (udev events, and kernel uevents where no udev daemon runs), plus a poll of
// the tty class once a second that fires only when the list of ttys changed,
// for systems where no event arrives at all. Bursts (one device brings
// several ports) are folded into one call. The listener runs on the monitor's
// own thread.
class DeviceMonitor : public IDeviceChangeSource {
public:
    // `ttyClassDir`: the directory the poll lists, every `pollMs`.
    explicit DeviceMonitor(std::string ttyClassDir = "/sys/class/tty", int pollMs = 1000);
    ~DeviceMonitor() override;
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    // Starts the monitor thread on the first listener; a later call replaces
    // the listener.
    void SetListener(std::function<void()> onChange) override;
    // Ends the monitor thread (also done by the destructor).
    void Stop();

    // The poll's view of the tty class: its entry names, sorted, joined.
    static std::string TtyList(const std::string& dir);

private:
    void Run(std::string last);
    void Notify();

    std::string m_dir;
    int m_pollMs;
    std::mutex m_mutex;
    std::function<void()> m_listener;
    std::thread m_thread;
    int m_wakeFd[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
};

}  // namespace gf
