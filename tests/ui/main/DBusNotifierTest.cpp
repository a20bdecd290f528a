// The desktop's notifications over D-Bus: against a private session bus (a
// dbus-daemon of the test's own, ended with it) with a notification service
// of the test's own on it, and with no bus at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

#include "../../TestPrinters.h"
#include "../../Waiting.h"
#include "DBusNotifier.h"

namespace tarnwick::test {
namespace {

// A session bus for one test, on a socket in a folder of its own. The daemon
// ends with the test, and with the test program should that die first.
class PrivateBus {
  public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !dir_.isValid()) return;
        const QString config = dir_.filePath(QStringLiteral("session.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(
            QStringLiteral("<!DOCTYPE busconfig PUBLIC\n"
                           " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:path=%1</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n")
                .arg(dir_.filePath(QStringLiteral("bus")))
                .toUtf8());
        file.close();
        daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start(daemon, {QStringLiteral("--config-file=") + config,
                               QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kWaitMs)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.terminate();
        if (!daemon_.waitForFinished(kWaitMs)) daemon_.kill();
        daemon_.waitForFinished(kWaitMs);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon could not be started.
    const QString& address() const { return address_; }
    bool running() const { return daemon_.state() == QProcess::Running; }

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// A connection of its own to a bus, closed at the end of the test.
class Connection {
  public:
    Connection(const QString& address, const QString& name)
        : name_(name), bus_(QDBusConnection::connectToBus(address, name)) {}
    ~Connection() { QDBusConnection::disconnectFromBus(name_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    QDBusConnection& bus() { return bus_; }

  private:
    QString name_;
    QDBusConnection bus_;
};

// The desktop's notification service: keeps what it is told. Its methods are
// named as the service's interface names them.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    struct Told {
        QString appName;
        uint replacesId;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
    };
    std::vector<Told> told;
    QStringList capabilities;

  public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        told.push_back({appName, replacesId, icon, summary, body, actions, hints, expireTimeout});
        return static_cast<uint>(told.size());
    }
};

// Every warning Qt would print while it lives.
class CapturedWarnings {
  public:
    CapturedWarnings() { previous_ = qInstallMessageHandler(&CapturedWarnings::keep); }
    ~CapturedWarnings() { qInstallMessageHandler(previous_); }
    CapturedWarnings(const CapturedWarnings&) = delete;
    CapturedWarnings& operator=(const CapturedWarnings&) = delete;
    static QStringList& lines() {
        static QStringList all;
        return all;
    }

  private:
    static void keep(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg) lines() << text;
    }
    QtMessageHandler previous_;
};

const DesktopNotification kRaised{"Beer & Wine: high", "12.50 °C, above 8 °C <cellar>",
                                  DesktopNotification::Urgency::Critical};
const DesktopNotification kCleared{"Beer & Wine: back to normal", "7.00 °C, back inside 8 °C",
                                   DesktopNotification::Urgency::Normal};

TEST(DBusNotifier, TellsTheServiceAsItReadsBodiesOnceItIsOnTheBus) {
    CapturedWarnings::lines().clear();
    const CapturedWarnings warnings;
    PrivateBus bus;
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not tell its address";
    Connection client(bus.address(), QStringLiteral("client"));
    Connection server(bus.address(), QStringLiteral("service"));
    ASSERT_TRUE(client.bus().isConnected());
    ASSERT_TRUE(server.bus().isConnected());

    // No service on the bus yet: nothing shown, nothing said.
    DBusNotifier early(client.bus(), "Tarnwick", "tarnwick", "tarnwick");
    early.notify(kRaised);
    ASSERT_TRUE(eventually([&] { return early.callsUnderWay() == 0; }));

    NotificationService service;
    ASSERT_TRUE(server.bus().registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(server.bus().registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &service, QDBusConnection::ExportAllSlots));
    const struct {
        QStringList capabilities;
        QString raisedBody;
    } cases[] = {
        {{"body", "body-markup", "persistence"}, "12.50 °C, above 8 °C &lt;cellar&gt;"},
        {{"body"}, "12.50 °C, above 8 °C <cellar>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capabilities.join(u' ').toStdString());
        service.told.clear();
        service.capabilities = c.capabilities;
        DBusNotifier notifier(client.bus(), "Tarnwick", "tarnwick", "tarnwick");
        notifier.notify(kRaised);
        notifier.notify(kCleared);
        ASSERT_TRUE(eventually([&] { return service.told.size() == 2; }));
        const NotificationService::Told& raised = service.told[0];
        EXPECT_EQ(raised.appName, "Tarnwick");
        EXPECT_EQ(raised.replacesId, 0u);
        EXPECT_EQ(raised.icon, "tarnwick");
        EXPECT_EQ(raised.summary, "Beer & Wine: high") << "a summary is never markup";
        EXPECT_EQ(raised.body, c.raisedBody);
        EXPECT_TRUE(raised.actions.isEmpty());
        EXPECT_EQ(raised.expireTimeout, -1);
        EXPECT_EQ(raised.hints.value("urgency").metaType(), QMetaType::fromType<uchar>());
        EXPECT_EQ(raised.hints.value("urgency").toInt(), 2);
        EXPECT_EQ(raised.hints.value("desktop-entry").toString(), "tarnwick");
        const NotificationService::Told& cleared = service.told[1];
        EXPECT_EQ(cleared.summary, "Beer & Wine: back to normal");
        EXPECT_EQ(cleared.body, "7.00 °C, back inside 8 °C");
        EXPECT_EQ(cleared.hints.value("urgency").toInt(), 1);
        EXPECT_TRUE(eventually([&] { return notifier.callsUnderWay() == 0; }));
    }
    EXPECT_TRUE(bus.running());
    EXPECT_EQ(CapturedWarnings::lines(), QStringList());
}

TEST(DBusNotifier, WithoutASessionBusTellsNothingAndSaysNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray nowhere = "unix:path=" + QFile::encodeName(dir.filePath("no-bus"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", nowhere);
    CapturedWarnings::lines().clear();
    const CapturedWarnings warnings;
    QDBusConnection session = QDBusConnection::sessionBus();
    ASSERT_FALSE(session.isConnected()) << "the session bus was reached before the test";
    DBusNotifier notifier(session, "Tarnwick", "tarnwick", "tarnwick");
    notifier.notify(kRaised);
    notifier.notify(kCleared);
    EXPECT_EQ(notifier.callsUnderWay(), 0);
    EXPECT_EQ(CapturedWarnings::lines(), QStringList());
}

}  // namespace
}  // namespace tarnwick::test

#include "DBusNotifierTest.moc"
