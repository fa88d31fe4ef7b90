#include "QtDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace gf {

CQtDispatcher::CQtDispatcher(QObject* parent) : QObject(parent) {}

bool CQtDispatcher::IsUiThread() const {
    return QThread::currentThread() == thread();
}

void CQtDispatcher::Send(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &fn] {
            fn();
            m_ran.fetch_add(1);
        },
        Qt::BlockingQueuedConnection);
}

void CQtDispatcher::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(
        this,
        [this, fn = std::move(fn)] {
            fn();
            m_ran.fetch_add(1);
        },
        Qt::QueuedConnection);
}

int CQtDispatcher::RunPending() {
    if (!IsUiThread()) return 0;
    const int before = m_ran.load();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return m_ran.load() - before;
}

}  // namespace gf
