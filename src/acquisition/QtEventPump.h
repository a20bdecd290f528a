// The event pump of the running program: the Qt event queue of this thread
// (Qt Core only, so it serves with or without widgets).
#pragma once

#include "EventPump.h"

namespace tarnwick {

// Pumps the Qt event queue of this thread, blocking while it is empty.
class QtEventPump : public EventPump {
  public:
    void waitForEvents() override;
    void waitForEvents(qint64 timeoutMs) override;
};

}  // namespace tarnwick
