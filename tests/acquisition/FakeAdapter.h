// A scripted stand-in for the browser, the event pump and the clock, so the
// cycle's steps can be followed one page at a time without a network.
#pragma once

#include <QStringList>
#include <functional>
#include <vector>

#include "AcquisitionCycle.h"
#include "HtmlField.h"

namespace tarnwick::test::fake {

inline QByteArray inputPage(const char* name, const QString& value) {
    return "<HTML><BODY><FORM><INPUT TYPE=\"TEXT\" NAME=\"" + QByteArray(name) + "\" VALUE=\"" +
           value.toUtf8() + "\"></FORM></BODY></HTML>";
}

// Well-formed scratchpad replies with correct CRCs.
inline const QString kGood1 = QStringLiteral("BE50054B467FFF0C101C");  // word 5005
inline const QString kGood2 = QStringLiteral("BE5B014B467FFF0C1007");  // word 5B01
inline const QString kAllOnes = QStringLiteral("BEFFFFFFFFFFFFFFFFFF");

struct Events {
    QStringList log;  // "nav <url>", "done", "visible", "sensor N W", "pass ..."
};

class Browser : public tarnwick::PageBrowser {
  public:
    explicit Browser(Events& ev) : ev_(ev) {}

    // Page for an address; the default answers like a healthy adapter.
    std::function<QByteArray(const QString& url)> serve = [this](const QString& url) {
        if (url.contains("GetLock")) return inputPage("LockID_0", QString::number(++locks));
        if (url.contains("Data=BE")) return inputPage("ResultData_0", kGood1);
        return QByteArray("<HTML><BODY>OK</BODY></HTML>");
    };

    // Why the load of an address fails; nullopt (the default) lets it load.
    std::function<std::optional<QString>(const QString& url)> failure = [](const QString&) {
        return std::optional<QString>();
    };

    void navigate(const QString& url) override {
        urls << url;
        pending_ = url;
        state_ = 1;
        failure_.reset();
        ev_.log << "nav " + url;
    }
    int readyState() const override { return state_; }
    std::optional<QString> fieldValue(const QString& name) const override {
        return tarnwick::findFieldValue(body_, name);
    }
    QByteArray pageSource() const override { return body_; }
    std::optional<QString> failureReason() const override { return failure_; }
    void stop() override { stopCalls++; }

    void complete() {
        if (state_ != 1) return;
        failure_ = failure(pending_);
        body_ = failure_ ? QByteArray() : serve(pending_);
        state_ = kComplete;
        ev_.log << "done";
    }
    const QString& pending() const { return pending_; }

    QStringList urls;
    int locks = 0;
    int stopCalls = 0;

  private:
    Events& ev_;
    QString pending_;
    QByteArray body_;
    std::optional<QString> failure_;
    int state_ = 0;
};

// Each wait advances the clock, runs the test's hook, then completes the page.
class Pump : public tarnwick::EventPump, public tarnwick::Clock {
  public:
    explicit Pump(Browser& b) : browser_(b) {}
    void waitForEvents() override {
        ++waits;
        now += stepMs;
        if (onWait) onWait();
        if (!holdPages) browser_.complete();
    }
    // A timed wait lasts its whole timeout: no page is under way then.
    void waitForEvents(qint64 timeoutMs) override {
        timedWaits.push_back(timeoutMs);
        ++waits;
        now += timeoutMs;
        if (onWait) onWait();
    }
    qint64 monotonicMs() const override { return now; }

    std::vector<qint64> timedWaits;
    std::function<void()> onWait;
    bool holdPages = false;
    qint64 now = 0;
    qint64 stepMs = 100;
    int waits = 0;

  private:
    Browser& browser_;
};

class View : public tarnwick::CycleView {
  public:
    explicit View(Events& ev) : ev_(ev) {}
    void showAddress(const QString& url) override { address = url; }
    void showPage(const QByteArray& html) override { page = html; }
    void makeVisible() override {
        visible = true;
        ev_.log << "visible";
    }
    void showSensor(int number, const QString& word) override {
        ev_.log << QStringLiteral("sensor %1 %2").arg(number).arg(word);
    }
    void passCompleted(const QStringList& words) override {
        records.push_back(words);
        ev_.log << "pass " + words.join(',');
        if (onPass) onPass();
    }
    void showAdapterFailure(const std::optional<QString>& reason) override {
        failure = reason;
        ev_.log << (reason ? "failing " + *reason : QStringLiteral("answering"));
    }

    QString address;
    QByteArray page;
    bool visible = false;
    std::optional<QString> failure;
    std::vector<QStringList> records;
    std::function<void()> onPass;

  private:
    Events& ev_;
};

// The cycle wired to the fakes above.
struct Rig {
    Events events;
    Browser browser{events};
    Pump pump{browser};
    View view{events};
    tarnwick::AcquisitionCycle cycle{browser, pump, pump, view};

    Rig() {
        cycle.setAdapterAddress("10.0.0.9");
        cycle.setRoster(tarnwick::SensorRoster());
    }
    // Runs `n` passes, then stops the cycle at the end of the last one.
    void runPasses(int n) {
        int done = 0;
        view.onPass = [&] {
            if (++done == n) cycle.stop();
        };
        cycle.run();
        view.onPass = nullptr;
    }
};

}  // namespace tarnwick::test::fake
