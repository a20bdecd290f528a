// The outlets both fronts share (the broker, the user's command, metrics),
// told of each alarm's change in the order they were added.
#pragma once

#include <utility>
#include <vector>

#include "AlarmEvent.h"

namespace tarnwick {

class AlarmOutlets : public AlarmOutlet {
  public:
    // `outlet` must outlive this.
    void add(AlarmOutlet& outlet) {
        outlets_.push_back(&outlet);
        if (failureListener_) outlet.setFailureListener(failureListener_);
    }
    void alarmChanged(const AlarmEvent& event) override {
        for (AlarmOutlet* outlet : outlets_) outlet->alarmChanged(event);
    }
    // Every outlet's failures go to `listener`, those added later too.
    void setFailureListener(FailureListener listener) override {
        failureListener_ = std::move(listener);
        for (AlarmOutlet* outlet : outlets_) outlet->setFailureListener(failureListener_);
    }

  private:
    std::vector<AlarmOutlet*> outlets_;
    FailureListener failureListener_;
};

}  // namespace tarnwick
