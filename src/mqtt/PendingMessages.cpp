#include "PendingMessages.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

void PendingMessages::put(MqttMessage message) {
    const auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                   [&](const MqttMessage& m) { return m.topic == message.topic; });
    if (same != waiting_.end()) {
        *same = std::move(message);
        ++dropped_;
        return;
    }
    if (capacity_ == 0) {
        ++dropped_;
        return;
    }
    if (waiting_.size() == capacity_) {
        waiting_.pop_front();
        ++dropped_;
    }
    waiting_.push_back(std::move(message));
}

std::optional<MqttMessage> PendingMessages::take() {
    if (waiting_.empty()) return std::nullopt;
    MqttMessage first = std::move(waiting_.front());
    waiting_.pop_front();
    return first;
}

}  // namespace tarnwick
