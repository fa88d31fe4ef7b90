#pragma once

#include <QObject>
#include <atomic>

#include "platform/Dispatcher.h"

namespace gf {

// The UI thread as seen by workers, on the Qt event loop of the thread that
// creates the object. Send from a worker blocks until the function has run on
// the UI thread; on the UI thread itself it runs the function at once (a
// blocking queued call from the receiver's own thread would never return).
class CQtDispatcher : public QObject, public IDispatcher {
    Q_OBJECT
public:
    explicit CQtDispatcher(QObject* parent = nullptr);

    void Send(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;
    // Runs the sends and posts queued so far, also while no event loop runs
    // (after the window has closed and the station waits for its jobs).
    int RunPending() override;

private:
    std::atomic<int> m_ran{0};
};

}  // namespace gf
