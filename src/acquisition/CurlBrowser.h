// The page browser on libcurl's multi interface, driven by the Qt event loop
// of the calling thread: a socket notifier per socket curl watches, one
// single-shot timer for curl's timeouts. One easy handle is reused for every
// page, so the adapter's connection stays open between pages.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "BrowserLimits.h"
#include "PageBrowser.h"

namespace tarnwick {

class CurlBrowser : public QObject, public PageBrowser {
  public:
    explicit CurlBrowser(BrowserLimits limits = {}, QObject* parent = nullptr);
    ~CurlBrowser() override;

    void navigate(const QString& url) override;
    int readyState() const override { return readyState_; }
    std::optional<QString> fieldValue(const QString& name) const override;
    QByteArray pageSource() const override { return body_; }
    void stop() override;
    std::optional<QString> failureReason() const override { return failure_; }

    // TCP connections opened so far (for the benchmark).
    long connectionsOpened() const { return connectionsOpened_; }

  private:
    struct Watch;

    static int onSocket(void* easy, int fd, int what, void* self, void* socketData);
    static int onTimer(void* multi, long timeoutMs, void* self);
    static int onClose(void* self, int fd);
    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    void act(int fd, int events);
    void retire(std::unique_ptr<QSocketNotifier>& n);
    void collectDone();
    void detach();
    void fail(const QString& why);

    BrowserLimits limits_;
    void* multi_ = nullptr;  // CURLM*
    void* easy_ = nullptr;   // CURL*
    bool attached_ = false;
    bool oversize_ = false;
    QTimer timer_;                 // curl's own timeouts
    QTimer idle_;                  // the transfer timeout
    QElapsedTimer sinceActivity_;  // since the request went out or bytes last came
    bool starting_ = false;        // within curl_multi_add_handle()
    bool kickDue_ = false;         // curl asked to be run at once
    std::map<int, std::unique_ptr<Watch>> watches_;
    std::vector<std::unique_ptr<QSocketNotifier>> retired_;
    QByteArray url_;
    QByteArray body_;
    std::optional<QString> failure_;
    int readyState_ = 0;
    long connectionsOpened_ = 0;
};

}  // namespace tarnwick
