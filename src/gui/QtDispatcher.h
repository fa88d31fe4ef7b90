#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/Dispatcher.h"

class QSocketNotifier;

namespace gf {

// The UI thread as seen by workers, on the Qt event loop of the thread that
// creates the object. Send from a worker blocks until the function has run on
// the UI thread; on the UI thread itself it runs the function at once (a
// blocking queued call from the receiver's own thread would never return).
//
// Work travels in a queue of our own, guarded by a std::mutex, and an eventfd
// wakes the event loop: workers never create Qt objects, and every hand-over
// is a synchronisation that thread checkers can see.
class CQtDispatcher : public QObject, public IDispatcher {
    Q_OBJECT
public:
    explicit CQtDispatcher(QObject* parent = nullptr);
    ~CQtDispatcher() override;

    void Send(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;
    // Runs the sends and posts queued so far, also while no event loop runs
    // (after the window has closed and the station waits for its jobs).
    int RunPending() override;

private:
    struct Item {
        std::function<void()> fn;
        bool* done = nullptr;  // set for Send, under m_mutex
    };
    void Enqueue(Item item);

    int m_wakeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::deque<Item> m_queue;
};

}  // namespace gf
