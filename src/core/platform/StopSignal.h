#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace gf {

// A one-way stop request that a waiting thread can be woken by.
class StopSignal {
public:
    void Request() {
        {
            std::lock_guard lock(m_mutex);
            m_requested.store(true);
        }
        m_cv.notify_all();
    }
    bool IsRequested() const { return m_requested.load(); }

    // Waits up to `timeout`; returns true when stop was requested.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [this] { return m_requested.load(); });
    }

private:
    std::atomic<bool> m_requested{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

}  // namespace gf
