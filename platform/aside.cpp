#include "platform/aside.h"

#include <QCoreApplication>
#include <QThread>

#include <thread>

namespace pf {

void runAside(const std::function<void()> &work, QEventLoop::ProcessEventsFlags events)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }
    QEventLoop loop;
    // The loop is told to end by a queued call, which it takes only once it
    // runs: however soon the work is done, exec() below returns. The join
    // makes all the work did visible here.
    std::thread worker([&work, &loop] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(events);
    worker.join();
}

}  // namespace pf
