// The desktop's notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Every call is
// asynchronous, so a busy or hung service never holds up the caller; a
// desktop without a session bus, or without the service on it, shows nothing
// and nothing is said about it.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <deque>
#include <functional>

#include "Seams.h"

namespace tarnwick {

class DBusNotifier : public QObject, public DesktopNotifier {
  public:
    // `bus`: the session bus (or, in tests, a bus of their own); `appName`
    // and `iconName` say whose notification it is (the icon by its theme
    // name), `desktopEntry` the program's desktop entry, without ".desktop".
    DBusNotifier(QDBusConnection bus, QString appName, QString iconName, QString desktopEntry);

    void notify(const DesktopNotification& notification) override;

    // Calls sent and not yet answered (or timed out).
    int callsUnderWay() const { return callsUnderWay_; }

  private:
    enum class Markup { Unknown, Asking, Plain, Body };
    void send(const DesktopNotification& notification);
    void watch(const QDBusPendingCall& call,
               const std::function<void(const QDBusMessage&)>& answered);

    QDBusConnection bus_;
    QString appName_;
    QString iconName_;
    QString desktopEntry_;
    // Whether the service reads markup in a body: asked once, before the
    // first notification; those told meanwhile wait for the answer.
    Markup markup_ = Markup::Unknown;
    std::deque<DesktopNotification> waiting_;
    int callsUnderWay_ = 0;
};

}  // namespace tarnwick
