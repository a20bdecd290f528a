// The page browser of the real program: an HTTP GET per page through
// QNetworkAccessManager, the field looked up in the returned HTML.
#pragma once

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QObject>

#include "PageBrowser.h"

class QNetworkReply;

namespace tarnwick {

struct BrowserLimits {
    // No byte received for this long ends the load as failed.
    int transferTimeoutMs = 10'000;
    // A body larger than this ends the load as failed; nothing beyond it is kept.
    qint64 maxBodyBytes = 1 << 20;
};

class NetworkBrowser : public QObject, public PageBrowser {
    Q_OBJECT
  public:
    explicit NetworkBrowser(BrowserLimits limits = {}, QObject* parent = nullptr);
    ~NetworkBrowser() override;

    void navigate(const QString& url) override;
    int readyState() const override { return readyState_; }
    std::optional<QString> fieldValue(const QString& name) const override;
    QByteArray pageSource() const override { return body_; }
    void stop() override;
    std::optional<QString> failureReason() const override { return failure_; }

  private:
    void onReadyRead();
    void onFinished();
    void fail(const QString& why);
    void failOversize();
    void dropReply();

    BrowserLimits limits_;
    QNetworkAccessManager manager_;
    QNetworkReply* reply_ = nullptr;
    QByteArray body_;
    std::optional<QString> failure_;
    int readyState_ = 0;
};

// Pumps the Qt event queue of this thread, blocking while it is empty.
class QtEventPump : public EventPump {
  public:
    void waitForEvents() override;
    void waitForEvents(qint64 timeoutMs) override;
};

class SteadyClock : public Clock {
  public:
    SteadyClock() { timer_.start(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }

  private:
    QElapsedTimer timer_;
};

}  // namespace tarnwick
