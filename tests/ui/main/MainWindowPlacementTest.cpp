// frmMain's placement, written to the settings store when it is unloaded, on
// every route out.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"
#include "MainWindowRig.h"

namespace tarnwick::test {

namespace {

// The four values the window should write: its outer frame in twips.
std::vector<QString> placementOf(const frmMain& window) {
    const QRect f = window.frameGeometry();
    std::vector<QString> out;
    for (int px : {f.x(), f.y(), f.width(), f.height()})
        out.push_back(QString::number(px * window.twipsPerPixel()));
    return out;
}

// Points the per-user settings of this process at `folder` for the object's life.
class ScopedSettingsFolder {
  public:
    explicit ScopedSettingsFolder(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    }
    ~ScopedSettingsFolder() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
};

}  // namespace

TEST(MainWindowPlacement, EveryRouteOutWritesTheFourValuesAfterClosingTheAboutWindow) {
    const std::vector<std::pair<const char*, std::function<void(frmMain&)>>> routes = {
        {"close box", [](frmMain& w) { w.close(); }},
        {"File > Exit", [](frmMain& w) { w.mnuFileExit->trigger(); }},
        {"Stop Program", [](frmMain& w) { QTest::mouseClick(w.btnStop, Qt::LeftButton); }},
    };
    for (const auto& [name, route] : routes) {
        SCOPED_TRACE(name);
        MainWindowRig rig;
        bool aboutOpenWhileSaving = false;
        rig.desktop.settingsStore.whileSaving = [&] {
            aboutOpenWhileSaving = aboutOpenWhileSaving || (rig.window.aboutWindow() &&
                                                            rig.window.aboutWindow()->isVisible());
        };
        bool opened = false;
        rig.run([&] {
            if (!opened && rig.requestCount() >= 26 && rig.window.isVisible()) {
                opened = true;
                // The way out is taken while the About window is open.
                QTimer::singleShot(50, [&] { route(rig.window); });
                rig.window.mnuHelpAbout->trigger();
            }
            return false;
        });
        EXPECT_TRUE(rig.window.isUnloaded());
        EXPECT_FALSE(aboutOpenWhileSaving) << "the About window is unloaded first";
        const auto& saved = rig.desktop.settingsStore.saved;
        ASSERT_EQ(saved.size(), 4u);
        const std::vector<QString> expected = placementOf(rig.window);
        const char* keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(saved[i].application, "Tarnwick");
            EXPECT_EQ(saved[i].section, "Settings");
            EXPECT_EQ(saved[i].key, keys[i]);
            EXPECT_EQ(saved[i].value, expected[i]);
        }
        EXPECT_EQ(rig.desktop.settingsStore.flushes, 1);
    }
}

TEST(MainWindowPlacement, MinimisedKeepsTheStoredValuesMaximisedWritesItsOwn) {
    QTemporaryDir dir;
    const ScopedSettingsFolder folder(dir.path());
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);  // a locale that groups thousands
    QtSettingsStore real;
    real.saveSetting("Tarnwick", "Settings", "MainLeft", "older");
    ASSERT_FALSE(real.flush());
    auto stored = [] {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Tarnwick", "Tarnwick");
        return s.value("Settings/MainLeft").toString() + "|" +
               s.value("Settings/MainWidth").toString();
    };
    {
        MainWindowRig rig;
        rig.desktop.settingsStore.passTo = &real;
        rig.run([&] {
            if (!rig.window.isVisible()) return false;
            rig.window.showMinimized();
            return true;
        });
        EXPECT_TRUE(rig.desktop.settingsStore.saved.empty());
        EXPECT_EQ(stored(), "older|");
    }
    {
        MainWindowRig rig;
        rig.desktop.settingsStore.passTo = &real;
        int widthAtClose = 0;
        rig.run([&] {
            if (!rig.window.isVisible()) return false;
            rig.window.showMaximized();
            if (!rig.window.isMaximized()) return false;
            widthAtClose = rig.window.frameGeometry().width();
            return true;
        });
        ASSERT_GT(widthAtClose, 0);
        EXPECT_EQ(stored(), placementOf(rig.window)[0] + "|" +
                                QString::number(widthAtClose * rig.window.twipsPerPixel()));
        EXPECT_GE(widthAtClose * rig.window.twipsPerPixel(), 10000) << "no grouping separator";
    }
    QLocale::setDefault(QLocale::c());
}

TEST(MainWindowPlacement, ValuesAreAsciiNumbersInEveryLocaleLeftOfTheScreenToo) {
    for (const QLocale& locale :
         {QLocale(QLocale::Swedish, QLocale::Sweden), QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const ScopedLocale scoped(locale);
        MainWindowRig rig;
        std::vector<QString> expected;
        rig.desktop.settingsStore.whileSaving = [&] {
            if (expected.empty()) expected = placementOf(rig.window);
        };
        rig.run([&] {
            if (!rig.window.isVisible()) return false;
            rig.window.move(-200, 30);  // partly off the screen's left edge
            return rig.window.frameGeometry().x() < 0;
        });
        const auto& saved = rig.desktop.settingsStore.saved;
        ASSERT_EQ(saved.size(), 4u);
        EXPECT_EQ(expected[0], QString::number(-200 * rig.window.twipsPerPixel()));
        const QRegularExpression number(QStringLiteral("^-?[0-9]+$"));
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(saved[i].value, expected[i]) << saved[i].key.toStdString();
            EXPECT_TRUE(number.match(saved[i].value).hasMatch()) << saved[i].value.toStdString();
        }
    }
}

TEST(MainWindowPlacement, AStoreThatCannotBeWrittenCostsOnlyThePlacement) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ScopedSettingsFolder folder(dir.filePath("not-a-folder/config"));
    QtSettingsStore real;
    MainWindowRig rig;
    rig.desktop.settingsStore.passTo = &real;
    rig.dialogs.answers = {dir.filePath("run.log")};
    testing::internal::CaptureStderr();
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        if (rig.window.txtRecNum->text() == "2")
            QTest::mouseClick(rig.window.btnStop, Qt::LeftButton);
        return false;
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("the window placement was not saved"), std::string::npos) << err;
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_EQ(readLines(dir.filePath("run.log")).size(), 2) << "every record whole";
}

}  // namespace tarnwick::test
