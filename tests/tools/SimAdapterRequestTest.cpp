// Bad requests, the request record and log, connections and start/stop.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>

#include "SimTestSupport.h"

namespace tarnwick::test {

class SimAdapterRequests : public AdapterFixture {
  protected:
    void expectStillServing() {
        auto fresh = makeClient();
        const Page page = fetch(*fresh, "/1Wire/GetLock.html");
        EXPECT_EQ(page.status, 200);
        EXPECT_TRUE(field(page.body, "LockID_0").has_value());
    }

    // A new connection to the adapter; -1 when it cannot connect.
    int connectRaw() const {
        const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(adapter->port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return sock;
        ::close(sock);
        return -1;
    }

    // Sends raw bytes on `sock` and returns whatever comes back until the
    // server closes it. With halfClose, the client says at once that it will
    // send nothing more. Closes `sock`.
    static std::string exchange(int sock, const std::string& bytes, bool halfClose) {
        std::string reply;
        if (sock < 0) return reply;
        ::send(sock, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (halfClose) ::shutdown(sock, SHUT_WR);
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(sock, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
        ::close(sock);
        return reply;
    }

    // The same on a new connection.
    std::string raw(const std::string& bytes, bool halfClose = true) const {
        return exchange(connectRaw(), bytes, halfClose);
    }
};

TEST_F(SimAdapterRequests, BadRequestsGetAnHtmlErrorPage) {
    startWith(instant());
    const std::string id = lock();
    const std::string a = "&Address=" + sensor(0);
    const std::string l = "&LockID=" + id;
    const std::pair<std::string, int> cases[] = {
        {"/", 404},
        {"/1Wire/Unknown.html", 404},
        {"/1wire/getlock.html", 404},
        {"/1Wire/WriteBlock.html", 400},
        {"/1Wire/WriteBlock.html?Data=44" + a, 400},
        {"/1Wire/WriteBlock.html?Data=44" + l, 400},
        {"/1Wire/WriteBlock.html?Address=" + sensor(0) + l, 400},
        {"/1Wire/WriteBlock.html?Data=" + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=4" + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=BEFFF" + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=ZZ" + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=%00%01" + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=" + std::string(600, 'F') + a + l, 400},
        {"/1Wire/WriteBlock.html?Data=44&Address=12" + l, 400},
        {"/1Wire/WriteBlock.html?Data=44&Address=\"><SCRIPT>" + l, 400},
        {"/1Wire/ReleaseLock.html", 400},
        {"/1Wire/GetLock.html?x=" + std::string(3000, 'x'), 414},
        {"/1Wire/GetLock.html?x=" + std::string(9000, 'x'), 414},
    };
    for (const auto& [target, status] : cases) {
        const Page page = get(target);
        EXPECT_EQ(page.status, status) << target.substr(0, 80);
        EXPECT_NE(page.body.find("<HTML>"), std::string::npos) << target.substr(0, 80);
        EXPECT_EQ(page.body.find("ResultData_0"), std::string::npos);
        EXPECT_EQ(page.body.find("<SCRIPT>"), std::string::npos) << "input is escaped";
    }
    const auto posted = client->Post("/1Wire/GetLock.html", "x", "text/plain");
    ASSERT_TRUE(posted);
    EXPECT_GE(posted->status, 400);
    EXPECT_NE(posted->body.find("<HTML>"), std::string::npos);
    EXPECT_EQ(readReply(sensor(0), id).size(), 20u) << "the lock survives bad requests";
    expectStillServing();
}

TEST_F(SimAdapterRequests, GarbageOnTheWireDoesNotStopTheServer) {
    startWith(instant());
    raw(std::string("\x00\xff\x13garbage\r\n\r\n", 14));
    raw("GET /1Wire/GetLock.html HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999\r\n\r\nabc");
    raw("GET /1Wire/GetLock.html HTTP/1.1\r\nHost");
    raw("GET " + std::string(20000, '/') + " HTTP/1.1\r\n\r\n");
    raw("");
    const std::string reply = raw("GET /1Wire/GetLock.html HTTP/1.0\r\n\r\n", false);
    EXPECT_NE(reply.find("LockID_0"), std::string::npos) << "HTTP/1.0 is served and closed";
    expectStillServing();
}

TEST_F(SimAdapterRequests, ABurstOfConnectionsIsServedWhole) {
    sim::Options o = instant();
    o.keepAliveSeconds = 1;
    startWith(o);
    // Opened faster than the adapter accepts them: all wait in the listening
    // queue. Had some been dropped and tried again a second later, the first
    // ones would have been closed as idle by then.
    std::vector<int> socks;
    for (int i = 0; i < 60; ++i) socks.push_back(connectRaw());
    for (std::size_t i = 0; i < socks.size(); ++i)
        EXPECT_NE(
            exchange(socks[i], "GET /1Wire/GetLock.html HTTP/1.0\r\n\r\n", false).find("LockID_0"),
            std::string::npos)
            << "connection " << i;
}

TEST_F(SimAdapterRequests, RecordsKeepTheRawTargetInArrivalOrder) {
    startWith(instant());
    get("/1Wire/GetLock.html");
    get("/1Wire/WriteBlock.html?Data=%42E&Address=x&LockID=1");
    get("/nowhere?a=b");
    const auto records = adapter->requests();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].target, "/1Wire/GetLock.html");
    EXPECT_EQ(records[1].target, "/1Wire/WriteBlock.html?Data=%42E&Address=x&LockID=1");
    EXPECT_EQ(records[2].target, "/nowhere?a=b");
    EXPECT_LE(records[0].steady, records[1].steady);
    EXPECT_LE(records[1].steady, records[2].steady);
    adapter->clearRequests();
    EXPECT_TRUE(adapter->requests().empty());
}

TEST_F(SimAdapterRequests, RecordListKeepsTheMostRecentRequests) {
    sim::Options o = instant();
    o.recordLimit = 3;
    startWith(o);
    for (int i = 0; i < 5; ++i) get("/page" + std::to_string(i));
    const auto records = adapter->requests();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.front().target, "/page2");
    EXPECT_EQ(records.back().target, "/page4");
}

TEST_F(SimAdapterRequests, ConnectionsBeyondTheLimitAreClosed) {
    sim::Options o = instant();
    o.maxConnections = 2;
    startWith(o);
    auto second = makeClient();
    EXPECT_EQ(get("/1Wire/GetLock.html").status, 200);
    EXPECT_EQ(fetch(*second, "/1Wire/GetLock.html").status, 200);
    auto third = makeClient();
    EXPECT_EQ(fetch(*third, "/1Wire/GetLock.html").status, 0);
    second.reset();  // closes its connection and frees a place
    EXPECT_TRUE(eventually([&] { return fetch(*third, "/1Wire/GetLock.html").status == 200; }));
}

TEST_F(SimAdapterRequests, LogFileHasOneTimedLinePerRequest) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("simadapter-log-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(path);
    sim::Options o = instant();
    o.logFile = path.string();
    startWith(o);
    const std::string id = lock();
    readReply(sensor(0), id);
    get("/1Wire/ReleaseLock.html?LockID=" + id);
    // Written and flushed per request: readable while the adapter runs.
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (/\S*)$)");
    const auto records = adapter->requests();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, stamp)) << lines[i];
        EXPECT_EQ(m[1], records[i].target);
        EXPECT_EQ(lines[i], sim::formatLogLine(records[i]));
    }
    EXPECT_EQ(lines[1], lines[1].substr(0, 25) + "/1Wire/WriteBlock.html?Data=" + kReadData +
                            "&Address=" + sensor(0) + "&LockID=" + id);
    adapter->stop();
    std::filesystem::remove(path);
}

TEST_F(SimAdapterRequests, KeepAliveServesManyPagesOnOneConnection) {
    startWith(instant());
    const std::string id = lock();
    for (int i = 0; i < 30; ++i) ASSERT_EQ(readReply(sensor(i % 16), id).size(), 20u);
    const auto records = adapter->requests();
    ASSERT_EQ(records.size(), 31u);
    for (const auto& r : records) EXPECT_EQ(r.remotePort, records.front().remotePort);
}

TEST_F(SimAdapterRequests, StopClosesIdleKeepAliveConnectionsAtOnce) {
    sim::Options o = instant();
    o.keepAliveSeconds = 600;
    startWith(o);
    lock();  // leaves the client's connection open and idle
    auto stopped = std::async(std::launch::async, [&] { adapter->stop(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(adapter->running());
    EXPECT_EQ(get("/1Wire/GetLock.html").status, 0) << "nobody listens any more";
}

TEST_F(SimAdapterRequests, RestartKeepsTheBusAndServesAgain) {
    sim::Options o = instant();
    o.temperatureC[sensor(0)] = 20.0;
    startWith(o);
    convertAndRead(sensor(0), lock());
    adapter->stop();
    EXPECT_FALSE(adapter->running());
    ASSERT_TRUE(adapter->start());
    client = makeClient();
    EXPECT_EQ(readReply(sensor(0), lock()).substr(2, 4), "4001") << "the converted 20 C is kept";
}

TEST_F(SimAdapterRequests, StartRefusesAddressesOffThisMachine) {
    sim::Adapter a;
    EXPECT_FALSE(a.start("0.0.0.0"));
    EXPECT_FALSE(a.start("192.168.1.10"));
    EXPECT_FALSE(a.start("example.com"));
    EXPECT_FALSE(a.start("128.0.0.1"));
    EXPECT_FALSE(a.running());
    EXPECT_TRUE(sim::isLoopbackHost("127.1.2.3"));
    EXPECT_TRUE(sim::isLoopbackHost("localhost"));
    ASSERT_TRUE(a.start("127.0.0.1", 0));
    EXPECT_FALSE(a.start("127.0.0.1", 0)) << "already running";
    sim::Adapter b;
    const auto taken = b.tryStart("127.0.0.1", a.port());
    ASSERT_TRUE(taken) << "port taken";
    EXPECT_EQ(taken->cause, sim::Adapter::StartFailure::Cause::Listen);
    EXPECT_EQ(taken->message, "cannot listen on 127.0.0.1:" + std::to_string(a.port()) +
                                  ": Address already in use");
}

TEST_F(SimAdapterRequests, StartFailsWhenTheLogCannotBeOpened) {
    sim::Options o;
    o.logFile = "/nonexistent-dir/simadapter.log";
    sim::Adapter a(o);
    const auto failure = a.tryStart();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->cause, sim::Adapter::StartFailure::Cause::Log);
    EXPECT_FALSE(a.running());
}

TEST_F(SimAdapterRequests, PagesAreNeverCompressed) {
    startWith({});
    httplib::Headers headers{{"Accept-Encoding", "gzip, deflate, br"}};
    auto res = client->Get("/1Wire/GetLock.html", headers);
    ASSERT_TRUE(res);
    EXPECT_FALSE(res->has_header("Content-Encoding"));
    EXPECT_NE(res->body.find("LockID_0"), std::string::npos);
}

}  // namespace tarnwick::test
