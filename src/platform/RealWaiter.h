#pragma once

#include "platform/Waiter.h"

#include <QElapsedTimer>

// The product's clock: sleeps for real and counts monotonic time.
class RealWaiter : public Waiter
{
  public:
    RealWaiter();
    void Sleep(int milliseconds) override;
    qint64 ElapsedMs() const override;

  private:
    QElapsedTimer m_clock;
};
