#include "monitor/QtWindowThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace km7 {

void QtWindowThread::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtWindowThread::processMessages()
{
    // Blocks until something arrives: input, a timer, or a worker's report.
    if (auto* dispatcher = QThread::currentThread()->eventDispatcher())
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace km7
