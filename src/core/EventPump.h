#pragma once

// "Let the interface process pending messages": long work calls this between
// steps; the interface implements it, the lower rooms never include widgets.
class EventPump
{
  public:
    virtual ~EventPump() = default;
    virtual void ProcessPendingMessages() = 0;
};
