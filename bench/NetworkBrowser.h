// A page browser on Qt Network, the benchmarks' baseline beside the
// program's own (CurlBrowser): an HTTP GET per page through
// QNetworkAccessManager, the field looked up in the returned HTML.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>

#include "BrowserLimits.h"
#include "PageBrowser.h"

class QNetworkReply;

namespace tarnwick {

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

}  // namespace tarnwick
