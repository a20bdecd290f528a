#include "GetaddrinfoResolver.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>

#include "FailureReasons.h"

namespace tarnwick {

namespace {

HostResolver::Answer resolve(const QByteArray& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.constData(), nullptr, &hints, &found);
    HostResolver::Answer answer;
    if (rc != 0) {
        answer.failure = lookupReason(rc);
        return answer;
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) != 0)
            continue;
        const QByteArray address(text);
        if (std::find(answer.addresses.begin(), answer.addresses.end(), address) ==
            answer.addresses.end())
            answer.addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    if (answer.addresses.empty()) answer.failure = lookupReason(EAI_NONAME);
    return answer;
}

}  // namespace

void GetaddrinfoResolver::lookUp(const QString& host, Done done) {
    std::thread([name = host.toUtf8(), done = std::move(done)] { done(resolve(name)); }).detach();
}

}  // namespace tarnwick
