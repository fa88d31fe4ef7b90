#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Dispatcher.h"

namespace gf {

// A dispatcher whose UI thread is the thread that created it and that runs the
// queued work when it calls RunPending or WaitAndRun. The terminal front-end's
// loop and the tests' manual pump both use it.
class QueueDispatcher : public IDispatcher {
public:
    QueueDispatcher() : m_uiThread(std::this_thread::get_id()) {}

    void Send(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override { return std::this_thread::get_id() == m_uiThread; }

    // Runs everything queued so far; returns how many items ran. UI thread.
    int RunPending() override;
    // Waits up to `timeout` for work, then runs what is queued. UI thread.
    int WaitAndRun(std::chrono::milliseconds timeout);
    // Makes the UI thread the calling thread (for a loop started elsewhere).
    void AdoptCurrentThread() { m_uiThread = std::this_thread::get_id(); }

private:
    struct Item {
        std::function<void()> fn;
        bool* done = nullptr;  // set for Send, under m_mutex
    };
    std::thread::id m_uiThread;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<Item> m_queue;
};

}  // namespace gf
