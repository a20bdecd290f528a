#include "NetworkBrowser.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include "HtmlField.h"
#include "PageUrl.h"

namespace tarnwick {

namespace {

// A short reason for the status bar; Qt's own text where there is no better one.
QString reasonFor(QNetworkReply::NetworkError error, const QString& qtText) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
            return QStringLiteral("connection refused");
        case QNetworkReply::RemoteHostClosedError:
            return QStringLiteral("connection closed by the adapter");
        case QNetworkReply::HostNotFoundError:
            return QStringLiteral("host not found");
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:  // the transfer timeout
            return QStringLiteral("timed out");
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
            return QStringLiteral("network down");
        default:
            return qtText;
    }
}

}  // namespace

NetworkBrowser::NetworkBrowser(BrowserLimits limits, QObject* parent)
    : QObject(parent), limits_(limits) {
    // One adapter, one page at a time: nothing to cache, nothing to remember.
    manager_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    manager_.setAutoDeleteReplies(false);
}

NetworkBrowser::~NetworkBrowser() { dropReply(); }

void NetworkBrowser::dropReply() {
    if (!reply_) return;
    QNetworkReply* r = reply_;
    reply_ = nullptr;
    r->disconnect(this);
    if (r->isRunning()) r->abort();
    // Deleted here, not with deleteLater(): the cycle pumps events with
    // processEvents() only, which never carries out deferred deletes queued
    // from this level, so each reply would otherwise stay for the program's life.
    delete r;
}

void NetworkBrowser::navigate(const QString& url) {
    dropReply();
    body_.clear();
    failure_.reset();
    readyState_ = kLoading;

    const QUrl wire = toRequestUrl(url);
    if (!wire.isValid() || wire.scheme() != QLatin1String("http") || wire.host().isEmpty()) {
        fail(QStringLiteral("invalid address %1").arg(url));
        return;
    }
    QNetworkRequest request(wire);
    request.setTransferTimeout(limits_.transferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    reply_ = manager_.get(request);
    // Read as data arrives, so the size limit holds before the body is complete.
    reply_->setReadBufferSize(64 * 1024);
    connect(reply_, &QNetworkReply::readyRead, this, &NetworkBrowser::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &NetworkBrowser::onFinished);
}

void NetworkBrowser::onReadyRead() {
    if (!reply_) return;
    const qint64 declared = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (declared > limits_.maxBodyBytes) {
        failOversize();
        return;
    }
    // Checked as the body streams in: a page that never ends is cut here,
    // not at its end.
    body_ += reply_->readAll();
    if (body_.size() > limits_.maxBodyBytes) failOversize();
}

void NetworkBrowser::failOversize() {
    fail(QStringLiteral("page larger than %1 bytes").arg(limits_.maxBodyBytes));
}

void NetworkBrowser::onFinished() {
    if (!reply_ || readyState_ == kComplete) return;
    const QNetworkReply::NetworkError err = reply_->error();
    // HTTP error statuses (404, 500...) still deliver the device's own page, as
    // a browser shows it; a failure of the connection or the transfer does not.
    const bool httpStatusError =
        err >= QNetworkReply::ContentAccessDenied && err <= QNetworkReply::UnknownContentError;
    if (err != QNetworkReply::NoError && !httpStatusError) {
        fail(reasonFor(err, reply_->errorString()));
        return;
    }
    body_ += reply_->readAll();
    if (body_.size() > limits_.maxBodyBytes) {
        failOversize();
        return;
    }
    readyState_ = kComplete;
}

void NetworkBrowser::fail(const QString& why) {
    failure_ = why;
    body_.clear();
    body_.squeeze();
    readyState_ = kComplete;
    if (reply_) {
        reply_->disconnect(this);
        if (reply_->isRunning()) reply_->abort();
    }
}

void NetworkBrowser::stop() {
    if (readyState_ != kComplete && reply_) fail(QStringLiteral("stopped"));
}

std::optional<QString> NetworkBrowser::fieldValue(const QString& name) const {
    if (readyState_ != kComplete || body_.isEmpty()) return std::nullopt;
    return findFieldValue(body_, name);
}

}  // namespace tarnwick
