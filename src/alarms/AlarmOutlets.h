// The outlets both fronts share (the broker, the user's command, metrics),
// told of each alarm's change in the order they were added.
#pragma once

#include <vector>

#include "AlarmEvent.h"

namespace tarnwick {

class AlarmOutlets : public AlarmOutlet {
  public:
    // `outlet` must outlive this.
    void add(AlarmOutlet& outlet) { outlets_.push_back(&outlet); }
    void alarmChanged(const AlarmEvent& event) override {
        for (AlarmOutlet* outlet : outlets_) outlet->alarmChanged(event);
    }

  private:
    std::vector<AlarmOutlet*> outlets_;
};

}  // namespace tarnwick
