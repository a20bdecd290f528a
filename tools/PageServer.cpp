#include "PageServer.h"

#include <algorithm>
#include <memory>

#include "Pages.h"

namespace tarnwick::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxDataBytes = 256;
constexpr std::uint8_t kConvertT = 0x44;
constexpr std::uint8_t kReadScratchpad = 0xBE;

const char* const kBadLock = "Invalid or expired lock ID";
const char* const kShuttingDown = "Adapter shutting down";

std::string statusText(int status) {
    switch (status) {
        case 400:
            return "Bad request";
        case 404:
            return "No such page";
        case 405:
            return "Method not allowed";
        case 413:
            return "Request too large";
        case 414:
            return "Request too long";
        case 431:
            return "Request header too large";
        default:
            return status >= 500 ? "Internal error" : "Request refused";
    }
}

// What kind of page a request is for the fault rules: write blocks are told
// apart by their command byte.
PageKind pageKind(PageKind route, const std::optional<std::vector<std::uint8_t>>& bytes) {
    if (route != PageKind::WriteBlock || !bytes || bytes->size() > kMaxDataBytes) return route;
    if ((*bytes)[0] == kConvertT) return PageKind::Convert;
    if ((*bytes)[0] == kReadScratchpad) return PageKind::Read;
    return route;
}

}  // namespace

PageServer::Reply PageServer::error(int status, const std::string& message) {
    return {status, pages::errorPage(status, message)};
}

void PageServer::install(httplib::Server& server) {
    server.set_default_headers(
        {{"Server", "1-Wire HTTP Adapter (simulated)"}, {"Cache-Control", "no-cache"}});
    server.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return preRoute(req, res); });
    auto route = [this](PageKind kind) {
        return [this, kind](const httplib::Request& req, httplib::Response& res) {
            serve(req, res, kind);
        };
    };
    server.Get(R"(/1Wire/GetLock\.html)", route(PageKind::Lock));
    server.Get(R"(/1Wire/WriteBlock\.html)", route(PageKind::WriteBlock));
    server.Get(R"(/1Wire/ReleaseLock\.html)", route(PageKind::Release));
    server.Get(R"(.*)", route(PageKind::Other));
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        // Our own pages always carry a Content-Type (set_content and
        // set_content_provider both set it); the library's bare error
        // responses (404, 414, 400...) have none and get the device's style.
        if (res.body.empty() && !res.has_header("Content-Type")) {
            const int status = res.status > 0 ? res.status : 500;
            res.set_content(pages::errorPage(status, statusText(status)), "text/html");
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content(pages::errorPage(500, "Internal error"), "text/html");
        });
}

httplib::Server::HandlerResponse PageServer::preRoute(const httplib::Request& req,
                                                      httplib::Response& res) {
    state_.requests.add(req.target, req.remote_port);
    // An embedded adapter sends its pages as they are: never compressed,
    // whatever the client would accept. (The request is the server's own
    // object; the handler interface merely hands it over as const.)
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    std::size_t limit;
    {
        std::lock_guard lock(state_.mutex);
        limit = state_.options.maxTargetLength;
    }
    if (req.target.size() <= limit) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 414;
    res.set_content(pages::errorPage(414, statusText(414)), "text/html");
    return httplib::Server::HandlerResponse::Handled;
}

void PageServer::serve(const httplib::Request& req, httplib::Response& res, PageKind route) {
    WriteBlock block;
    block.address = upper(req.get_param_value("Address"));
    block.data = req.get_param_value("Data");
    block.bytes = fromHex(block.data);

    FaultHits hits;
    {
        std::lock_guard lock(state_.mutex);
        hits =
            state_.faults.match(state_.options.faults, pageKind(route, block.bytes), block.address);
        hits.delayMs += std::max(0, state_.options.requestDelayMs);
    }
    if (!state_.sleepUnlessStopping(hits.delayMs)) {
        send(res, error(503, kShuttingDown), {});
        return;
    }
    Reply reply;
    switch (route) {
        case PageKind::Lock:
            reply = lockPage(hits);
            break;
        case PageKind::WriteBlock:
            reply = writeBlockPage(req, block, hits);
            break;
        case PageKind::Release:
            reply = releasePage(req);
            break;
        default:
            reply = error(404, statusText(404));
            break;
    }
    send(res, std::move(reply), hits);
}

PageServer::Reply PageServer::lockPage(const FaultHits& hits) {
    std::unique_lock lock(state_.mutex);
    if (state_.busLock.held() && state_.options.lockWaitMs > 0) {
        state_.wake.wait_for(lock, std::chrono::milliseconds(state_.options.lockWaitMs),
                             [this] { return !state_.busLock.held() || state_.stopping; });
    }
    if (state_.stopping) return error(503, kShuttingDown);
    // Free, or held past the wait: the caller gets the bus.
    const std::string id = state_.busLock.take(state_.random);
    return {200, pages::lockPage(hits.has(Fault::MissingField) ? std::nullopt : std::optional(id))};
}

PageServer::Reply PageServer::writeBlockPage(const httplib::Request& req, const WriteBlock& block,
                                             const FaultHits& hits) {
    if (!req.has_param("Data") || !req.has_param("Address") || !req.has_param("LockID"))
        return error(400, "Missing parameter: Data, Address and LockID are required");
    if (!block.bytes) return error(400, "Data must be an even number of hexadecimal digits");
    if (block.bytes->size() > kMaxDataBytes) return error(400, "Data block too long");
    if (!isSensorId(block.address)) return error(400, "Address must be 16 hexadecimal digits");
    const std::string lockId = req.get_param_value("LockID");
    std::string result;
    {
        std::lock_guard lock(state_.mutex);
        if (!state_.busLock.holds(lockId)) return error(403, kBadLock);
        result = readBack(block, hits);
    }
    if (hits.has(Fault::MissingField))
        return {200, pages::writeBlockPage(block.address, block.data, lockId, std::nullopt)};
    state_.requests.noteResult(req.remote_port, req.target, result);
    return {200, pages::writeBlockPage(block.address, block.data, lockId, result)};
}

std::string PageServer::readBack(const WriteBlock& block, const FaultHits& hits) {
    const Options& options = state_.options;
    Random& random = state_.random;
    const Bus::Exchange exchange =
        state_.bus.writeBlock(block.address, *block.bytes, Clock::now(), random);
    std::string result = toHex(exchange.readBack);
    if (hits.has(Fault::AllFF)) result.assign(result.size(), 'F');
    const bool realRead = exchange.scratchpad && !hits.has(Fault::AllFF);
    if (realRead && result.size() >= 20 &&
        (hits.has(Fault::BadCrc) || random.chance(options.crcErrorRate))) {
        const auto crc = *fromHex(result.substr(18, 2));
        result.replace(18, 2, toHex({static_cast<std::uint8_t>(crc[0] ^ 0x5A)}));
    }
    if (hits.has(Fault::ShortReply) || random.chance(options.shortReplyRate)) {
        result.resize(result.size() >= 2 ? result.size() - 2 : 0);
    } else if (hits.has(Fault::LongReply) || random.chance(options.longReplyRate)) {
        result += "FF";
    }
    if (hits.has(Fault::LowerCase) || options.lowerCaseHex) result = lower(result);
    return result;
}

PageServer::Reply PageServer::releasePage(const httplib::Request& req) {
    if (!req.has_param("LockID")) return error(400, "Missing parameter: LockID");
    const std::string lockId = req.get_param_value("LockID");
    {
        std::lock_guard lock(state_.mutex);
        if (!state_.busLock.release(lockId)) return error(403, kBadLock);
    }
    state_.wake.notify_all();
    return {200, pages::releasePage(lockId)};
}

void PageServer::send(httplib::Response& res, Reply reply, const FaultHits& hits) {
    if (hits.has(Fault::Oversize)) {
        std::lock_guard lock(state_.mutex);
        reply.body = pages::padded(reply.body, state_.options.oversizeBytes);
    }
    res.status = reply.status;
    const bool stall = hits.has(Fault::Stall);
    if (!stall && !hits.has(Fault::Drop)) {
        res.set_content(std::move(reply.body), "text/html");
        return;
    }
    // Send the headers and the first half of the body, then hold on (stall) or hang up (drop).
    auto page = std::make_shared<std::string>(std::move(reply.body));
    const std::size_t half = page->size() / 2;
    res.set_content_provider(
        page->size(), "text/html",
        [this, page, half, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < half) return sink.write(page->data() + offset, half - offset);
            if (!stall || !state_.holdStalledPage()) return false;
            return sink.write(page->data() + offset, page->size() - offset);
        });
}

}  // namespace tarnwick::sim
