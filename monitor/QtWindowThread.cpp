#include "monitor/QtWindowThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace km7 {

void QtWindowThread::Post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtWindowThread::ProcessMessages(int maxWaitMs)
{
    // Blocks until something arrives: input, a timer, or a worker's report;
    // a precise one-shot timer bounds the wait when asked to.
    auto* dispatcher = QThread::currentThread()->eventDispatcher();
    if (!dispatcher) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return;
    }
    QTimer wake;
    if (maxWaitMs >= 0) {
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(maxWaitMs);
    }
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace km7
