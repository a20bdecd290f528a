// Looks the broker's name up: its addresses, in the order to try them, as
// numeric strings ("127.0.0.1", "::1"). The publisher's network thread asks
// and goes on with its own work; the answer comes later, from any thread.
// The real one is GetaddrinfoResolver; tests hand in addresses of their own.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

class HostResolver {
  public:
    struct Answer {
        std::vector<QByteArray> addresses;
        std::optional<QString> failure;  // "host not found", when no address came
    };
    // Called once with the answer, from any thread, possibly before lookUp
    // returns, and possibly after the one who asked has stopped waiting: it
    // must own whatever it touches.
    using Done = std::function<void(Answer)>;

    virtual ~HostResolver() = default;
    virtual void lookUp(const QString& host, Done done) = 0;
};

}  // namespace tarnwick
