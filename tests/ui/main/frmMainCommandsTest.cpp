// What the menu items and toolbar buttons answer, through the desktop seams
// and, where it matters, through the real Qt dialogs.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <memory>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"
#include "MainWindowRig.h"

namespace tarnwick::test {

namespace {

class CommandsTest : public ::testing::Test {
  protected:
    QWidget* buttonFor(const char* key) const {
        for (QAction* action : window->tbToolBar->actions())
            if (action->data().toString() == QLatin1String(key))
                return window->tbToolBar->widgetForAction(action);
        return nullptr;
    }

    FakeDesktop desktop;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(desktop.services());
};

// Calls `inspect` with the modal window once it is shown, then closes it.
void whenModalShows(const std::function<void(QWidget*)>& inspect) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        poll->stop();
        poll->deleteLater();
        inspect(modal);
        modal->close();
    });
    poll->start(10);
}

}  // namespace

TEST_F(CommandsTest, PlaceholdersShowTheirMessageFromMenusAndToolbar) {
    ASSERT_TRUE(showActive(*window));
    auto expectOneBox = [&](const QString& text) {
        ASSERT_EQ(desktop.messageBoxes.shown.size(), 1u);
        const RecordingMessageBoxes::Box box = desktop.messageBoxes.shown[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Tarnwick");
        EXPECT_EQ(box.icon, MessageBoxes::Icon::None);
        EXPECT_EQ(box.parent, window.get());
        desktop.messageBoxes.shown.clear();
    };
    int placeholders = 0;
    for (const MenuEntry& entry : frmMain::menuTable()) {
        if (entry.message == nullptr) continue;
        SCOPED_TRACE(entry.name);
        // The message names the item's handler.
        EXPECT_EQ(QString::fromLatin1(entry.message),
                  QStringLiteral("Add '%1_Click' code.").arg(entry.name));
        (window.get()->*entry.action)->trigger();
        expectOneBox(QString::fromLatin1(entry.message));
        ++placeholders;
    }
    EXPECT_EQ(placeholders, 16);
    int buttons = 0;
    for (const ToolbarEntry& entry : frmMain::toolbarTable()) {
        if (*entry.key == '\0') continue;
        SCOPED_TRACE(entry.key);
        QTest::mouseClick(buttonFor(entry.key), Qt::LeftButton);
        ++buttons;
        if (QLatin1String(entry.key) == QLatin1String("Open")) {
            EXPECT_TRUE(desktop.messageBoxes.shown.empty());
            EXPECT_EQ(desktop.fileDialogs.shown, 1);
            EXPECT_EQ(desktop.fileDialogs.lastTitle, "Open");
            continue;
        }
        if (entry.menuItem != nullptr) {
            QString itemName = (window.get()->*entry.menuItem)->objectName();
            expectOneBox(QStringLiteral("Add '%1_Click' code.").arg(itemName));
        } else {
            EXPECT_EQ(QString::fromLatin1(entry.message),
                      QStringLiteral("Add '%1' button code.").arg(entry.key));
            expectOneBox(QString::fromLatin1(entry.message));
        }
    }
    EXPECT_EQ(buttons, 13);
}

TEST_F(CommandsTest, ToolbarKeysMatchExactlyAndUnknownKeysDoNothing) {
    for (const char* key : {"new", "OPEN", "Align left", "center", "Bold ", "Nothing", ""}) {
        QAction button(QString::fromLatin1(key));
        button.setData(QString::fromLatin1(key));
        window->tbToolBar_ButtonClick(&button);
    }
    EXPECT_TRUE(desktop.messageBoxes.shown.empty());
    EXPECT_EQ(desktop.fileDialogs.shown, 0);
}

TEST_F(CommandsTest, ToolbarButtonsAreNamedForScreenReaders) {
    ASSERT_TRUE(showActive(*window));
    for (const ToolbarEntry& entry : frmMain::toolbarTable()) {
        if (*entry.key == '\0') continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(buttonFor(entry.key));
        ASSERT_NE(face, nullptr) << entry.key;
        EXPECT_EQ(face->text(QAccessible::Name), entry.key);
        EXPECT_EQ(qobject_cast<QToolButton*>(buttonFor(entry.key))->toolButtonStyle(),
                  Qt::ToolButtonIconOnly);
    }
}

TEST_F(CommandsTest, OpenLeavesNoTraceAndStartLoggingKeepsItsOwnDialog) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = dir.filePath("chosen.txt");
    const QString newName = dir.filePath("new.txt");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    window->txtFileName->setText("kept.log");
    desktop.fileDialogs.answers = {QString(), existing, newName};
    for (int i = 0; i < 3; ++i) window->mnuFileOpen->trigger();
    EXPECT_EQ(desktop.fileDialogs.shown, 3);
    EXPECT_EQ(desktop.fileDialogs.lastTitle, "Open");
    EXPECT_EQ(desktop.fileDialogs.lastFilter, "All Files (*.*)");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"chosen.txt"})
        << "a new name is not created";
    EXPECT_EQ(QFileInfo(existing).size(), 0);
    EXPECT_EQ(window->txtFileName->text(), "kept.log");
    EXPECT_EQ(window->logControl().flag(), 0);
    EXPECT_TRUE(desktop.messageBoxes.shown.empty());

    // Page Setup made a cancel an error; Start Logging still sees an empty name.
    window->mnuFilePageSetup->trigger();
    window->btnFileWrite->click();
    EXPECT_EQ(desktop.fileDialogs.lastFilter, "all Files (*)");
    EXPECT_EQ(window->btnFileWrite->text(), "Start Logging");
    EXPECT_EQ(window->txtFileName->text(), "kept.log");
    EXPECT_TRUE(desktop.messageBoxes.shown.empty());
}

TEST(RealDialogs, OpenShowsOneEntryThatMatchesEveryFileAndTakesANewName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString newName = dir.filePath("not-there-yet.txt");
    QtFileDialogs dialogs;
    QString shownFilter;
    QStringList patterns;
    QString title;
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    bool accepted = false;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        mode = dialog->fileMode();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        ASSERT_EQ(types->count(), 1);
        shownFilter = types->currentText();
        patterns = dialog->findChild<QFileSystemModel*>()->nameFilters();
        // A dialog that wants an existing file would hold a warning box open here.
        if (mode != QFileDialog::AnyFile) return;
        // Typed as the user would, then Open.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(newName);
        QTest::keyClick(name, Qt::Key_Return);
        accepted = dialog->result() == QDialog::Accepted;
    });
    EXPECT_EQ(dialogs.getOpenFileName(nullptr, "Open", "All Files (*.*)"), newName);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(mode, QFileDialog::AnyFile);
    EXPECT_EQ(title, "Open");
    EXPECT_EQ(shownFilter, "All Files (*.*)");
    EXPECT_EQ(patterns, QStringList{"*"}) << "names without a dot are listed too";
    EXPECT_FALSE(QFile::exists(newName));

    // Cancelled: no name.
    whenModalShows([](QWidget*) {});
    EXPECT_TRUE(dialogs.getOpenFileName(nullptr, "Open", "All Files (*.*)").isEmpty());
}

TEST(RealDialogs, PageSetupIsThePrinterDialogAndACancelShowsNothing) {
    QtPrinterDialogs dialogs;
    QString title, className;
    QWidgetList othersShown;
    whenModalShows([&](QWidget* modal) {
        title = modal->windowTitle();
        className = QString::fromLatin1(modal->metaObject()->className());
    });
    EXPECT_FALSE(dialogs.showPageSetup(nullptr, "Page Setup"));
    EXPECT_EQ(title, "Page Setup");
    EXPECT_EQ(className, "QPrintDialog") << "the printer dialog, not paper and margins";
    QTest::qWait(50);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) othersShown << w;
    EXPECT_TRUE(othersShown.isEmpty()) << "nothing is shown after the cancel";
}

TEST_F(CommandsTest, PageSetupShowsThePrinterDialogAndNothingElse) {
    window->mnuFilePageSetup->trigger();
    EXPECT_EQ(desktop.printerDialogs.titles, std::vector<QString>{"Page Setup"});
    EXPECT_TRUE(desktop.messageBoxes.shown.empty());
}

TEST_F(CommandsTest, HelpItemsWithoutAndWithAHelpFile) {
    const QString noHelp =
        "Unable to display Help Contents. There is no Help associated with this project.";
    for (QAction* item : {window->mnuHelpContents, window->mnuHelpSearchForHelpOn}) {
        SCOPED_TRACE(item->objectName().toStdString());
        desktop.messageBoxes.shown.clear();
        item->trigger();
        ASSERT_EQ(desktop.messageBoxes.shown.size(), 1u);
        EXPECT_EQ(desktop.messageBoxes.shown[0].text, noHelp);
        EXPECT_EQ(desktop.messageBoxes.shown[0].caption, "Project1");
        EXPECT_EQ(desktop.messageBoxes.shown[0].icon, MessageBoxes::Icon::Information);
    }

    MainServices withHelp = desktop.services();
    withHelp.helpFile = QStringLiteral("/usr/share/doc/tarnwick/help.html");
    frmMain helped(withHelp);
    desktop.messageBoxes.shown.clear();
    helped.mnuHelpContents->trigger();
    desktop.programLauncher.failure = QStringLiteral("No such file or directory");
    helped.mnuHelpSearchForHelpOn->trigger();
    ASSERT_EQ(desktop.programLauncher.started.size(), 2u);
    for (const auto& start : desktop.programLauncher.started) {
        EXPECT_EQ(start.program, "xdg-open");
        EXPECT_EQ(start.arguments, QStringList{withHelp.helpFile});
    }
    ASSERT_EQ(desktop.messageBoxes.shown.size(), 1u) << "only the failed start is reported";
    EXPECT_EQ(desktop.messageBoxes.shown[0].text, "No such file or directory");
    EXPECT_EQ(desktop.messageBoxes.shown[0].caption, "Tarnwick");
    EXPECT_EQ(desktop.messageBoxes.shown[0].icon, MessageBoxes::Icon::None);
}

TEST_F(CommandsTest, AboutOpensModallyOwnedByTheMainWindow) {
    ASSERT_TRUE(showActive(*window));
    QString title;
    QWidget* owner = nullptr;
    bool modal = false;
    whenModalShows([&](QWidget* about) {
        title = about->windowTitle();
        owner = about->parentWidget();
        modal = qobject_cast<frmAbout*>(about) != nullptr && about->isModal();
    });
    window->mnuHelpAbout->trigger();
    EXPECT_EQ(title, "About Project1");
    EXPECT_EQ(owner, window.get());
    EXPECT_TRUE(modal);
}

TEST(CommandsInTheCycle, ARealPlaceholderBoxHoldsTheCycleUntilItIsClosed) {
    MainWindowRig rig;
    QtMessageBoxes realBoxes;
    rig.boxes.passTo = &realBoxes;
    int atOpen = -1, atClose = -1;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    bool chosen = false;
    rig.run([&] {
        if (!chosen && rig.requestCount() >= 40) {
            chosen = true;
            auto* box = new QTimer;
            QObject::connect(box, &QTimer::timeout, [&, box] {
                auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (shown == nullptr) return;
                if (atOpen < 0) {
                    atOpen = rig.requestCount();
                    text = shown->text();
                    title = shown->windowTitle();
                    icon = shown->icon();
                    buttons = shown->standardButtons();
                    return;
                }
                QTest::qWait(300);
                atClose = rig.requestCount();
                box->deleteLater();
                box->stop();
                shown->accept();
            });
            box->start(20);
            rig.window.mnuFileNew->trigger();
            return false;
        }
        return atClose >= 0 && rig.requestCount() >= atClose + 26;
    });
    EXPECT_EQ(text, "Add 'mnuFileNew_Click' code.");
    EXPECT_EQ(title, "Tarnwick");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::Ok);
    ASSERT_GE(atOpen, 40);
    EXPECT_EQ(atClose, atOpen) << "no request while the box was open";
    EXPECT_GE(rig.requestCount(), atClose + 26) << "the cycle went on afterwards";
}

}  // namespace tarnwick::test
