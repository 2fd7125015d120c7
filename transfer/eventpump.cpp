#include "transfer/eventpump.h"

#include <QCoreApplication>

void EventPump::force()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_clock.start();
}
