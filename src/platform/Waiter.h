#pragma once

#include <QtGlobal>

// The engine's clock: the fixed pacing waits and the busy time-out go through
// here so that tests and benchmarks can shorten them; the product sleeps for real.
class Waiter
{
  public:
    virtual ~Waiter() = default;
    virtual void Sleep(int milliseconds) = 0;
    // Monotonic milliseconds from an arbitrary origin.
    virtual qint64 ElapsedMs() const = 0;
};
