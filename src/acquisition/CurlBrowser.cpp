#include "CurlBrowser.h"

#include <curl/curl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <utility>

#include "HtmlField.h"
#include "PageUrl.h"

namespace tarnwick {

namespace {

CURLM* multiOf(void* m) { return static_cast<CURLM*>(m); }
CURL* easyOf(void* e) { return static_cast<CURL*>(e); }

// A short reason for the status bar.
QString reasonFor(CURLcode code, const char* detail) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("connection refused");
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return QStringLiteral("connection closed by the adapter");
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("host not found");
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("timed out");
        default:
            return detail && *detail ? QString::fromUtf8(detail)
                                     : QString::fromUtf8(curl_easy_strerror(code));
    }
}

struct GlobalInit {
    GlobalInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

}  // namespace

// Read and write notifiers of one socket curl asked us to watch, and what
// curl wants of it now.
struct CurlBrowser::Watch {
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
    bool wantRead = false;
};

CurlBrowser::CurlBrowser(BrowserLimits limits, QObject* parent) : QObject(parent), limits_(limits) {
    static GlobalInit once;
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    curl_multi_setopt(multiOf(multi_), CURLMOPT_SOCKETFUNCTION, &CurlBrowser::onSocket);
    curl_multi_setopt(multiOf(multi_), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multiOf(multi_), CURLMOPT_TIMERFUNCTION, &CurlBrowser::onTimer);
    curl_multi_setopt(multiOf(multi_), CURLMOPT_TIMERDATA, this);
    // One adapter, one page at a time, one connection kept open.
    curl_multi_setopt(multiOf(multi_), CURLMOPT_MAXCONNECTS, 1L);

    CURL* e = easyOf(easy_);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlBrowser::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &CurlBrowser::onClose);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // never a proxy from the environment
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    // Redirects to another plain-HTTP page are followed, as a browser does.
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    // A declared length over the cap ends the load before the body comes.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxBodyBytes));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 64L * 1024);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    // No byte for the transfer timeout ends the load. The timer is not
    // re-armed for every read; when it fires, it looks when the socket last
    // had something to read and waits out the rest.
    idle_.setSingleShot(true);
    idle_.setTimerType(Qt::PreciseTimer);
    connect(&idle_, &QTimer::timeout, this, [this] {
        if (readyState_ == kComplete) return;
        const qint64 left = limits_.transferTimeoutMs - sinceActivity_.elapsed();
        if (left > 0)
            idle_.start(static_cast<int>(left));
        else
            fail(QStringLiteral("timed out"));
    });
}

CurlBrowser::~CurlBrowser() {
    detach();
    curl_easy_cleanup(easyOf(easy_));
    curl_multi_cleanup(multiOf(multi_));
    watches_.clear();
    retired_.clear();
}

int CurlBrowser::onSocket(void*, int fd, int what, void* selfPtr, void*) {
    auto* self = static_cast<CurlBrowser*>(selfPtr);
    std::unique_ptr<Watch>& w = self->watches_[fd];
    if (!w) w = std::make_unique<Watch>();
    // The kept connection is watched for reading around every page. Switching
    // a notifier on or off makes the event loop wake itself, so the read
    // notifier is left on when curl stops wanting it, and switched off only
    // if the socket then stirs; it goes when curl closes the socket.
    w->wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    if (w->wantRead) {
        if (!w->read) {
            w->read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            // The watch lives as long as this connection: when curl closes the
            // socket the notifier is retired, cut off, before the watch goes.
            QObject::connect(w->read.get(), &QSocketNotifier::activated, self,
                             [self, fd, watch = w.get()] {
                                 if (watch->wantRead)
                                     self->act(fd, CURL_CSELECT_IN);
                                 else
                                     watch->read->setEnabled(false);
                             });
        }
        w->read->setEnabled(true);
    }
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (!wantWrite) {
        if (w->write) w->write->setEnabled(false);
    } else if (w->write) {
        w->write->setEnabled(true);
    } else {
        w->write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(w->write.get(), &QSocketNotifier::activated, self,
                         [self, fd] { self->act(fd, CURL_CSELECT_OUT); });
    }
    return 0;
}

int CurlBrowser::onClose(void* selfPtr, curl_socket_t fd) {
    auto* self = static_cast<CurlBrowser*>(selfPtr);
    // No notifier may outlive its socket: the number is soon another file's.
    if (auto it = self->watches_.find(fd); it != self->watches_.end()) {
        self->retire(it->second->read);
        self->retire(it->second->write);
        self->watches_.erase(it);
    }
    return ::close(fd);
}

int CurlBrowser::onTimer(void*, long timeoutMs, void* selfPtr) {
    auto* self = static_cast<CurlBrowser*>(selfPtr);
    if (timeoutMs == 0 && self->starting_) {
        // The first step of a new page is taken by navigate() itself, once
        // the handle is added, not one event-loop turn later.
        self->kickDue_ = true;
        self->timer_.stop();
    } else if (timeoutMs < 0)
        self->timer_.stop();
    else
        self->timer_.start(static_cast<int>(timeoutMs));
    return 0;
}

size_t CurlBrowser::onWrite(char* data, size_t size, size_t count, void* selfPtr) {
    auto* self = static_cast<CurlBrowser*>(selfPtr);
    const size_t n = size * count;
    // Checked as the body streams in: a page that never ends is cut here.
    if (self->body_.size() + static_cast<qint64>(n) > self->limits_.maxBodyBytes) {
        self->oversize_ = true;
        return 0;  // curl ends the transfer with a write error
    }
    self->body_.append(data, static_cast<qsizetype>(n));
    return n;
}

void CurlBrowser::retire(std::unique_ptr<QSocketNotifier>& n) {
    if (!n) return;
    // Not deleted here: this may run while that notifier is emitting.
    n->setEnabled(false);
    n->disconnect(this);
    retired_.push_back(std::move(n));
}

void CurlBrowser::act(int fd, int events) {
    if (events & CURL_CSELECT_IN) sinceActivity_.restart();
    int running = 0;
    curl_multi_socket_action(multiOf(multi_), fd, events, &running);
    collectDone();
}

void CurlBrowser::collectDone() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multiOf(multi_), &left)) {
        if (msg->msg != CURLMSG_DONE || msg->easy_handle != easyOf(easy_)) continue;
        const CURLcode code = msg->data.result;
        long opened = 0;
        if (curl_easy_getinfo(easyOf(easy_), CURLINFO_NUM_CONNECTS, &opened) == CURLE_OK)
            connectionsOpened_ += opened;
        detach();
        if (readyState_ == kComplete) continue;
        if (oversize_ || code == CURLE_FILESIZE_EXCEEDED) {
            fail(QStringLiteral("page larger than %1 bytes").arg(limits_.maxBodyBytes));
        } else if (code != CURLE_OK) {
            fail(reasonFor(code, nullptr));
        } else {
            // HTTP error statuses (404, 500...) still deliver the device's own
            // page, as a browser shows it.
            readyState_ = kComplete;
        }
    }
}

void CurlBrowser::detach() {
    if (!attached_) return;
    attached_ = false;
    // Removing a handle mid-transfer closes that connection; a finished
    // transfer leaves it in the multi handle's cache for the next page.
    curl_multi_remove_handle(multiOf(multi_), easyOf(easy_));
}

void CurlBrowser::navigate(const QString& url) {
    detach();
    retired_.clear();
    body_.clear();
    failure_.reset();
    oversize_ = false;
    readyState_ = kLoading;

    const QUrl wire = toRequestUrl(url);
    if (!wire.isValid() || wire.scheme() != QLatin1String("http") || wire.host().isEmpty()) {
        fail(QStringLiteral("invalid address %1").arg(url));
        return;
    }
    url_ = wire.toEncoded();
    curl_easy_setopt(easyOf(easy_), CURLOPT_URL, url_.constData());
    sinceActivity_.restart();
    if (!idle_.isActive()) idle_.start(limits_.transferTimeoutMs);
    kickDue_ = false;
    starting_ = true;
    const CURLMcode added = curl_multi_add_handle(multiOf(multi_), easyOf(easy_));
    starting_ = false;
    if (added != CURLM_OK) {
        fail(QStringLiteral("cannot start the request"));
        return;
    }
    attached_ = true;
    if (std::exchange(kickDue_, false)) act(CURL_SOCKET_TIMEOUT, 0);
}

void CurlBrowser::fail(const QString& why) {
    failure_ = why;
    body_.clear();
    body_.squeeze();
    readyState_ = kComplete;
    detach();
}

void CurlBrowser::stop() {
    if (readyState_ != kComplete) fail(QStringLiteral("stopped"));
}

std::optional<QString> CurlBrowser::fieldValue(const QString& name) const {
    if (readyState_ != kComplete || body_.isEmpty()) return std::nullopt;
    return findFieldValue(body_, name);
}

}  // namespace tarnwick
