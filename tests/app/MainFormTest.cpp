// The program's start-up (MainForm) on the program's application object:
// the exit status of each way the run ends, and an error that escapes a
// handler.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <functional>
#include <stdexcept>

#include "../TestPrinters.h"
#include "Application.h"
#include "ExitStatus.h"
#include "MainForm.h"
#include "MainWindowRig.h"

namespace tarnwick::test {

namespace {

// The start-up against the simulated adapter with the desktop faked: `user`
// is called with the main window every 5 ms while the run lasts.
struct StartUp {
    tarnwick::sim::Adapter sim{MainWindowRig::quickOptions()};
    FakeDesktop desktop;

    int run(const std::function<void(frmMain&)>& user) {
        if (!sim.start()) {
            ADD_FAILURE() << "the simulated adapter did not start";
            return -1;
        }
        const MainServices services =
            desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port()));
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* main = qobject_cast<frmMain*>(w)) user(*main);
        });
        ticker.start();
        return MainForm(services);
    }
    bool onePassDone() const { return sim.requests().size() >= 26; }
};

}  // namespace

TEST(MainForm, ReturnsStatusZeroWhenTheWindowIsClosed) {
    StartUp startUp;
    const int status = startUp.run([&](frmMain& window) {
        if (startUp.onePassDone()) window.close();
    });
    EXPECT_EQ(status, 0);
}

TEST(MainForm, FileExitEndsTheProgramWithStatusZero) {
    StartUp startUp;
    const int status = startUp.run([&](frmMain& window) {
        if (startUp.onePassDone()) window.mnuFileExit->trigger();
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(startUp.desktop.settingsStore.saved.size(), 4u);
}

// SIGTERM (a logout, a kill) while logging: closed as by the close box, the
// log ending on a whole record, the placement saved, status zero; SIGINT and
// SIGHUP the same way.
TEST(MainForm, ASignalToEndClosesTheWindowAndItsLogLikeTheCloseBox) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        StartUp startUp;
        FakeDesktop& desktop = startUp.desktop;
        desktop.fileDialogs.answers = {dir.filePath("signal.log")};
        bool sent = false;
        const int status = startUp.run([&](frmMain& window) {
            if (desktop.fileDialogs.shown == 0) window.btnFileWrite->click();
            if (!sent && window.txtRecNum->text() == "2") {
                sent = true;
                std::raise(signal);
            }
        });
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(sent);
        EXPECT_EQ(desktop.settingsStore.saved.size(), 4u) << "the placement saved";
        const QStringList lines = readLines(dir.filePath("signal.log"));
        EXPECT_GE(lines.size(), 2);
        for (const QString& l : lines) EXPECT_EQ(l.count(" , "), 11);
    }
}

TEST(MainForm, AnErrorOutOfAHandlerClosesTheLogShowsItAndEndsWithAFailure) {
    QTemporaryDir dir;
    StartUp startUp;
    FakeDesktop& desktop = startUp.desktop;
    desktop.fileDialogs.answers = {dir.filePath("escape.log")};
    bool thrown = false;
    const int status = startUp.run([&](frmMain& window) {
        if (thrown) return;
        if (desktop.fileDialogs.shown == 0) window.btnFileWrite->click();
        if (window.txtRecNum->text() == "2") {
            thrown = true;
            throw std::runtime_error("handler failed");
        }
    });
    EXPECT_EQ(status, kFailureExitStatus);
    ASSERT_EQ(desktop.messageBoxes.shown.size(), 1u);
    EXPECT_EQ(desktop.messageBoxes.shown[0].text, "handler failed");
    EXPECT_EQ(desktop.messageBoxes.shown[0].icon, MessageBoxes::Icon::Critical);
    const QStringList lines = readLines(dir.filePath("escape.log"));
    EXPECT_EQ(lines.size(), 2);
    for (const QString& l : lines) EXPECT_EQ(l.count(" , "), 11);
    EXPECT_TRUE(desktop.settingsStore.saved.empty()) << "no unload handling";
}

}  // namespace tarnwick::test
