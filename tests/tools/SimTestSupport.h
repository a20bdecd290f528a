// Helpers shared by the simulated adapter's tests: a client bound to a running
// adapter and a plain look-up of an INPUT element's value in a page.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "SimAdapter.h"

namespace tarnwick::test {

inline const std::string kReadData = "BEFFFFFFFFFFFFFFFFFF";

// VALUE of the INPUT element called `name`, or nullopt when the page has none.
inline std::optional<std::string> field(const std::string& html, const std::string& name) {
    const std::string key = "NAME=\"" + name + "\"";
    const auto at = html.find(key);
    if (at == std::string::npos) return std::nullopt;
    const auto tagStart = html.rfind('<', at);
    const auto tagEnd = html.find('>', at);
    const auto value = html.find("VALUE=\"", tagStart);
    if (tagStart == std::string::npos || value == std::string::npos || value > tagEnd)
        return std::nullopt;
    const auto close = html.find('"', value + 7);
    return html.substr(value + 7, close - value - 7);
}

struct Page {
    int status = 0;  // 0 when no complete response came back
    std::string body;
    httplib::Error error = httplib::Error::Success;
};

class AdapterFixture : public ::testing::Test {
  protected:
    void startWith(sim::Options options) {
        adapter = std::make_unique<sim::Adapter>(std::move(options));
        ASSERT_TRUE(adapter->start());
        ASSERT_GT(adapter->port(), 0);
        client = makeClient();
    }

    std::unique_ptr<httplib::Client> makeClient() const {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", adapter->port());
        c->set_keep_alive(true);
        c->set_read_timeout(10, 0);
        return c;
    }

    static Page fetch(httplib::Client& c, const std::string& target) {
        Page page;
        auto res = c.Get(target);
        page.error = res.error();
        if (res) {
            page.status = res->status;
            page.body = res->body;
        }
        return page;
    }
    Page get(const std::string& target) { return fetch(*client, target); }

    std::string lock() {
        const Page page = get("/1Wire/GetLock.html");
        EXPECT_EQ(page.status, 200);
        return field(page.body, "LockID_0").value_or("");
    }
    Page writeBlock(const std::string& data, const std::string& address, const std::string& id) {
        return get("/1Wire/WriteBlock.html?Data=" + data + "&Address=" + address + "&LockID=" + id);
    }
    // ResultData_0 of a write block, or "<none>" when the page lacks it.
    std::string result(const std::string& data, const std::string& address, const std::string& id) {
        return field(writeBlock(data, address, id).body, "ResultData_0").value_or("<none>");
    }
    std::string readReply(const std::string& address, const std::string& id) {
        return result(kReadData, address, id);
    }
    std::string convertAndRead(const std::string& address, const std::string& id) {
        result("44", address, id);
        return readReply(address, id);
    }

    // Polls `done` until it holds or a generous deadline passes.
    template <class Pred>
    static bool eventually(Pred done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    static sim::Options instant() {
        sim::Options o;
        o.conversionMs = 0;
        return o;
    }

    std::unique_ptr<sim::Adapter> adapter;
    std::unique_ptr<httplib::Client> client;
};

inline const std::string& sensor(int slot) { return sim::rosterIds().at(slot); }

}  // namespace tarnwick::test
