#include "QtDispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QThread>
#include <cstdint>

namespace gf {

CQtDispatcher::CQtDispatcher(QObject* parent) : QObject(parent) {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_notifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { RunPending(); });
}

CQtDispatcher::~CQtDispatcher() {
    delete m_notifier;
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

bool CQtDispatcher::IsUiThread() const { return QThread::currentThread() == thread(); }

void CQtDispatcher::Enqueue(Item item) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
    }
    const std::uint64_t one = 1;
    ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    (void)n;  // a full counter still wakes the loop
}

void CQtDispatcher::Send(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    bool done = false;
    Enqueue(Item{[&fn] { fn(); }, &done});
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return done; });
}

void CQtDispatcher::Post(std::function<void()> fn) { Enqueue(Item{std::move(fn), nullptr}); }

int CQtDispatcher::RunPending() {
    if (!IsUiThread()) return 0;
    std::uint64_t count;
    while (::read(m_wakeFd, &count, sizeof count) > 0) {
    }
    int ran = 0;
    for (;;) {
        Item item;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) return ran;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        item.fn();
        ++ran;
        if (item.done != nullptr) {
            std::lock_guard lock(m_mutex);
            *item.done = true;
            m_finished.notify_all();
        }
    }
}

}  // namespace gf
