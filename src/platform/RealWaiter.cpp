#include "platform/RealWaiter.h"

#include <QThread>

RealWaiter::RealWaiter()
{
    m_clock.start();
}

void RealWaiter::Sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

qint64 RealWaiter::ElapsedMs() const
{
    return m_clock.elapsed();
}
