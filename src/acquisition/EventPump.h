// Lets the cycle wait: hands pending window and network events to their
// handlers, and sleeps until there is at least one when there is none.
#pragma once

#include <QtGlobal>

namespace tarnwick {

class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void waitForEvents() = 0;
    // The same, but sleeps no longer than `timeoutMs` when no event comes.
    virtual void waitForEvents(qint64 timeoutMs) = 0;
};

}  // namespace tarnwick
