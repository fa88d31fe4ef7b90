#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "ModeServers.h"
#include "platform/StopSignal.h"

namespace gf::sim::test {

// Counts change events and lets a test wait for the n-th one (the event comes
// from a device thread; the wait is bounded so a fault fails instead of hanging).
class ChangeCounter {
public:
    std::function<void()> Listener() {
        return [this] {
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_cv.notify_all();
        };
    }
    int Count() {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    bool WaitFor(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] { return m_count >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 0;
};

// Protocol servers that end each appearance with the next scripted outcome of
// their mode, once released; with the script used up they stay until stopped.
class ScriptedServers {
public:
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }
    void Script(SimMode mode, std::deque<SimOutcome> outcomes) {
        std::lock_guard lock(m_mutex);
        m_script[mode] = std::move(outcomes);
    }
    ModeServers Servers() {
        ModeServers s;
        s.diag = [this](int, SimDeviceState&, StopSignal& stop) {
            return Next(SimMode::Diag, stop);
        };
        s.download = [this](int, SimDeviceState&, StopSignal& stop) {
            return Next(SimMode::Download, stop);
        };
        return s;
    }

private:
    SimOutcome Next(SimMode mode, StopSignal& stop) {
        {
            std::unique_lock lock(m_mutex);
            while (!m_released && !stop.IsRequested()) {
                m_cv.wait_for(lock, std::chrono::milliseconds(20));
            }
            auto& q = m_script[mode];
            if (!q.empty()) {
                SimOutcome o = q.front();
                q.pop_front();
                return o;
            }
        }
        while (!stop.WaitFor(std::chrono::milliseconds(100))) {
        }
        return SimOutcome::Stopped;
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
    std::map<SimMode, std::deque<SimOutcome>> m_script;
};

// A download-mode server that echoes every byte, waiting while no host has
// the port open.
inline SimOutcome EchoServer(int fd, SimDeviceState&, StopSignal& stop) {
    while (!stop.IsRequested()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (p.revents & POLLIN) {
            char buf[512];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                (void)!::write(fd, buf, static_cast<size_t>(n));
                continue;
            }
        }
        stop.WaitFor(std::chrono::milliseconds(10));  // slave closed
    }
    return SimOutcome::Stopped;
}

}  // namespace gf::sim::test
