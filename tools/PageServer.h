// The adapter's pages on a cpp-httplib server: every request is recorded,
// matched against the fault rules, held for its delay, answered by the
// handler of its page (GetLock, WriteBlock, ReleaseLock or none), and then
// sent as the faults say: whole, padded, stalled or dropped half-way.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AdapterState.h"

namespace tarnwick::sim {

class PageServer {
  public:
    explicit PageServer(AdapterState& state) : state_(state) {}

    // Installs the routes, the pre-routing check and the error pages.
    void install(httplib::Server& server);

  private:
    struct Reply {
        int status = 200;
        std::string body;
    };
    // The parameters of a write block, as the fault rules and its handler see them.
    struct WriteBlock {
        std::string address;  // upper case
        std::string data;     // as sent
        std::optional<std::vector<std::uint8_t>> bytes;
    };

    static Reply error(int status, const std::string& message);

    httplib::Server::HandlerResponse preRoute(const httplib::Request& req, httplib::Response& res);
    void serve(const httplib::Request& req, httplib::Response& res, PageKind route);

    Reply lockPage(const FaultHits& hits);
    Reply writeBlockPage(const httplib::Request& req, const WriteBlock& block,
                         const FaultHits& hits);
    Reply releasePage(const httplib::Request& req);
    // The bus's answer to a write block, as the faults and rates bend it. Mutex held.
    std::string readBack(const WriteBlock& block, const FaultHits& hits);
    void send(httplib::Response& res, Reply reply, const FaultHits& hits);

    AdapterState& state_;
};

}  // namespace tarnwick::sim
