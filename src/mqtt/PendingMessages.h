// The messages waiting for the broker, bounded: only the newest message of
// each topic waits (a newer reading replaces the one before, in its place in
// line), and at most `capacity` topics wait; beyond that the oldest goes. A
// broker that comes back gets the current readings, not a flood. Not
// thread-safe: the publisher holds its lock around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "ReadingMessages.h"

namespace tarnwick {

class PendingMessages {
  public:
    // Sixteen sensors' states and their discovery configs fit twice over.
    static constexpr std::size_t kCapacity = 64;

    explicit PendingMessages(std::size_t capacity = kCapacity) : capacity_(capacity) {}

    void put(MqttMessage message);
    // The message that has waited longest; nullopt when none waits.
    std::optional<MqttMessage> take();

    std::size_t size() const { return waiting_.size(); }
    // Messages replaced by a newer one of their topic, or pushed out, since
    // the start: never sent.
    std::uint64_t dropped() const { return dropped_; }

  private:
    std::size_t capacity_;
    std::deque<MqttMessage> waiting_;
    std::uint64_t dropped_ = 0;
};

}  // namespace tarnwick
