// The adapter's accepted connections: one thread each (so that a stalled page
// or an idle keep-alive connection never keeps another client waiting), a cap
// on their number, and a way to end them all at once when the adapter stops.
//
// cpp-httplib hands every accepted connection to its task queue as a closure
// that serves the connection and then closes its socket, and it waits for a
// keep-alive connection's next request for the whole keep-alive timeout. It
// never shows the socket itself. So the queue, called on the accepting
// thread right after accept(), finds the new socket among the process's
// descriptors (the one connected to the adapter's port that no registered
// connection has), duplicates the descriptor and keeps the duplicate while
// the connection lives. Shutting the socket down through the duplicate ends
// a keep-alive wait or a read at once: the library's own wait sees the end of
// the stream. Holding a duplicate also means the descriptor number can never
// be reused by anything else while it is registered.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tarnwick::sim {

class ConnectionRegistry {
  public:
    // Accepts connections to `port` from now on; `limit` is asked for the most
    // connections served at once each time one arrives.
    void open(int port, std::function<std::size_t()> limit);
    // Refuses every further connection and shuts down every registered one.
    void closeAll();

    // A connection the queue serves. `handle` is the duplicate descriptor, -1
    // when the socket could not be found (then it is served unregistered).
    struct Admission {
        bool serve = true;
        int handle = -1;
    };
    // On the accepting thread, for the connection just accepted. A refused
    // connection's socket is closed here, and its closure must be dropped.
    Admission admit();
    // After the connection's closure has run.
    void release(int handle);

    // A task queue for httplib::Server::new_task_queue, bound to this registry.
    std::function<httplib::TaskQueue*()> taskQueueFactory();

  private:
    using Peer = std::pair<std::string, int>;  // remote address and port

    std::mutex mutex_;
    std::map<int, Peer> handles_;  // duplicate descriptor -> its peer
    bool refusing_ = true;
    int port_ = 0;
    std::function<std::size_t()> limit_;
};

}  // namespace tarnwick::sim
