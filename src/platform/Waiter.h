#pragma once

// The fixed pacing waits of the engine go through here so that tests and
// benchmarks can shorten them; the product sleeps for real.
class Waiter
{
public:
    virtual ~Waiter() = default;
    virtual void Sleep(int milliseconds) = 0;
};
