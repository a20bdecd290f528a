// The system's resolver (getaddrinfo: /etc/hosts, DNS, as nsswitch.conf
// says), in a thread of its own for each look-up, so that a publisher that
// stops never waits on a slow name server: the look-up then finishes alone
// and its answer is dropped.
#pragma once

#include "HostResolver.h"

namespace tarnwick {

class GetaddrinfoResolver : public HostResolver {
  public:
    void lookUp(const QString& host, Done done) override;
};

}  // namespace tarnwick
