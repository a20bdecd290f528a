#include "DBusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>
#include <utility>

namespace tarnwick {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A service that has not answered by then never will.
constexpr int kCallTimeoutMs = 5000;
// The urgency hint's bytes.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

QDBusMessage serviceCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

// A body for a service that reads markup in it: a sensor named "Fridge <2>"
// or "Beer & Wine" is shown as named, not taken for markup.
QString markupEscaped(QString text) {
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    return text;
}

}  // namespace

DBusNotifier::DBusNotifier(QDBusConnection bus, QString appName, QString iconName,
                           QString desktopEntry)
    : bus_(std::move(bus)),
      appName_(std::move(appName)),
      iconName_(std::move(iconName)),
      desktopEntry_(std::move(desktopEntry)) {}

void DBusNotifier::notify(const DesktopNotification& notification) {
    if (!bus_.isConnected()) return;
    if (markup_ == Markup::Plain || markup_ == Markup::Body) {
        send(notification);
        return;
    }
    waiting_.push_back(notification);
    if (markup_ == Markup::Asking) return;
    markup_ = Markup::Asking;
    watch(bus_.asyncCall(serviceCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs),
          [this](const QDBusMessage& reply) {
              if (reply.type() != QDBusMessage::ReplyMessage) {
                  // No service (yet): these are dropped, the next one asks again.
                  markup_ = Markup::Unknown;
                  waiting_.clear();
                  return;
              }
              const QStringList capabilities = reply.arguments().value(0).toStringList();
              markup_ = capabilities.contains(QStringLiteral("body-markup")) ? Markup::Body
                                                                             : Markup::Plain;
              while (!waiting_.empty()) {
                  send(waiting_.front());
                  waiting_.pop_front();
              }
          });
}

void DBusNotifier::send(const DesktopNotification& notification) {
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(notification.urgency == DesktopNotification::Urgency::Critical
                                         ? kCritical
                                         : kNormal));
    if (!desktopEntry_.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), desktopEntry_);
    QDBusMessage call = serviceCall(QStringLiteral("Notify"));
    // app_name, replaces_id (0: a new one), app_icon, summary, body, actions,
    // hints, expire_timeout (-1: as the desktop likes).
    call << appName_ << 0u << iconName_ << notification.summary
         << (markup_ == Markup::Body ? markupEscaped(notification.body) : notification.body)
         << QStringList() << hints << -1;
    watch(bus_.asyncCall(call, kCallTimeoutMs), {});
}

void DBusNotifier::watch(const QDBusPendingCall& call,
                         const std::function<void(const QDBusMessage&)>& answered) {
    ++callsUnderWay_;
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, answered](QDBusPendingCallWatcher* finished) {
                --callsUnderWay_;
                finished->deleteLater();
                if (answered) answered(finished->reply());
            });
}

}  // namespace tarnwick
