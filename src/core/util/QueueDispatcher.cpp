#include "util/QueueDispatcher.h"

namespace gf {

void QueueDispatcher::Send(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    bool done = false;
    std::unique_lock lock(m_mutex);
    m_queue.push_back(Item{[&fn] { fn(); }, &done});
    m_queued.notify_all();
    m_finished.wait(lock, [&] { return done; });
}

void QueueDispatcher::Post(std::function<void()> fn) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Item{std::move(fn), nullptr});
    m_queued.notify_all();
}

int QueueDispatcher::RunPending() {
    int count = 0;
    for (;;) {
        Item item;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) return count;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        item.fn();
        ++count;
        if (item.done != nullptr) {
            std::lock_guard lock(m_mutex);
            *item.done = true;
            m_finished.notify_all();
        }
    }
}

int QueueDispatcher::WaitAndRun(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_mutex);
        m_queued.wait_for(lock, timeout, [this] { return !m_queue.empty(); });
    }
    return RunPending();
}

}  // namespace gf
