// The bus lock of the lock rule (see SimAdapter.h): GetLock hands out a fresh
// identifier and takes the bus from any previous holder, whose identifier then
// stops working. Not thread-safe; the adapter serialises access.
#pragma once

#include <cstdint>
#include <string>

#include "Bus.h"

namespace tarnwick::sim {

class BusLock {
  public:
    // The first identifier handed out lies a little above `base`.
    explicit BusLock(std::uint64_t base) : last_(base) {}

    bool held() const { return held_; }
    // Whether `id` is the identifier of the lock held now.
    bool holds(const std::string& id) const { return held_ && id == id_; }

    // Takes the lock, whoever held it; the new identifier is 1 to 997 above the last.
    std::string take(Random& random) {
        last_ += 1 + random.next() % 997;
        id_ = std::to_string(last_);
        held_ = true;
        return id_;
    }
    // False when `id` does not hold the lock.
    bool release(const std::string& id) {
        if (!holds(id)) return false;
        held_ = false;
        return true;
    }

  private:
    bool held_ = false;
    std::string id_;
    std::uint64_t last_;
};

}  // namespace tarnwick::sim
