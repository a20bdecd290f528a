#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "../../TestPrinters.h"
#include "Twips.h"
#include "frmAbout.h"

namespace tarnwick::test {
namespace {

class RecordingMessageBoxes : public MessageBoxes {
  public:
    struct Shown {
        QString caption, text;
        Icon icon;
    };
    void show(QWidget*, const QString& caption, const QString& text, Icon icon) override {
        shown.push_back({caption, text, icon});
    }
    std::vector<Shown> shown;
};

// Starts programs for real, and notes every path it was asked to start.
class RecordingLauncher : public ProgramLauncher {
  public:
    std::optional<QString> startDetached(const QString& program,
                                         const QStringList& arguments) override {
        started.push_back(program);
        if (before) before();
        return real.startDetached(program, arguments);
    }
    QtProgramLauncher real;
    QStringList started;
    std::function<void()> before;  // may throw
};

class FakeSystemInfoStore : public SystemInfoStore {
  public:
    std::optional<Value> queryValue(const QString& key, const QString& name) override {
        queried.push_back(key + u'/' + name);
        if (before) before();
        const auto found = values.find(key + u'/' + name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
    std::map<QString, Value> values;
    QStringList queried;
    std::function<void()> before;  // may throw
};

// Sets an environment variable for the object's life.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QString& value) : name_(name), saved_(qgetenv(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnv() { qputenv(name_, saved_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    QByteArray saved_;
};

// Writes `text` as the system-information store in a configuration folder of
// its own and names that folder in XDG_CONFIG_DIRS for the object's life.
struct StoreFile {
    explicit StoreFile(const QByteArray& text) {
        EXPECT_TRUE(dir.isValid() && QDir(dir.path()).mkpath("Tarnwick"));
        QFile f(dir.filePath("Tarnwick/SystemInformation.conf"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir;
    ScopedEnv env{"XDG_CONFIG_DIRS", dir.path()};
};

// An executable script at `path`; false when it could not be written.
bool writeTool(const QString& path, QFile::Permissions extra = QFile::ExeOwner) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write("#!/bin/sh\nexit 0\n");
    return f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
}

using Type = SystemInfoStore::ValueType;
const QString kTry1 = QStringLiteral("Tool/Path");
const QString kTry2 = QStringLiteral("ToolLocation/Folder");

struct Rig {
    RecordingMessageBoxes boxes;
    RecordingLauncher launcher;
    FakeSystemInfoStore store;
    QPointer<frmAbout> about = new frmAbout(nullptr, boxes, launcher, store);
    ~Rig() { delete about; }
};

TEST(AboutWindowTest, VersionTextIsPlainDecimal) {
    EXPECT_EQ(versionText({1, 0, 0}), "Version 1.0.0");
    EXPECT_EQ(versionText({1, 0, 12}), "Version 1.0.12");
    EXPECT_EQ(versionText({10, 2, 3}), "Version 10.2.3");
}

TEST(AboutWindowTest, LoadedWindowAsDesigned) {
    Rig rig;
    frmAbout& w = *rig.about;
    const double tpp = w.twipsPerPixel();
    EXPECT_EQ(w.windowTitle(), "About Project1");
    EXPECT_EQ(w.lblTitle->text(), "Tarnwick");
    EXPECT_EQ(w.lblVersion->text(), versionText(buildVersion()));
    EXPECT_EQ(w.lblDescription->text(), "App Description");
    EXPECT_EQ(w.lblDisclaimer->text(), "Warning: ...");
    EXPECT_EQ(w.cmdOK->text(), "OK");
    EXPECT_EQ(w.cmdSysInfo->text(), "&System Info...");

    const QSize client = twipsToPixels(QSize(5895, 3675), tpp);
    EXPECT_EQ(w.size(), client);
    EXPECT_EQ(w.minimumSize(), client);
    EXPECT_EQ(w.maximumSize(), client);
    EXPECT_FALSE(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(w.windowType(), Qt::Dialog);

    // Designed geometry, listed in tab order: the children come in this order.
    const struct {
        QWidget* control;
        const char* name;
        QRect twips;
    } controls[] = {
        {w.cmdOK, "cmdOK", {4245, 2625, 1467, 345}},
        {w.cmdSysInfo, "cmdSysInfo", {4260, 3075, 1452, 345}},
        {w.picIcon, "picIcon", {240, 240, 540, 540}},
        {w.lblDisclaimer, "lblDisclaimer", {255, 2625, 3870, 825}},
        {w.lblVersion, "lblVersion", {1050, 780, 4092, 225}},
        {w.lblTitle, "lblTitle", {1050, 240, 4092, 480}},
        {w.lblDescription, "lblDescription", {1050, 1125, 4092, 1170}},
    };
    const QList<QWidget*> children = w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), std::size(controls));
    for (std::size_t i = 0; i < std::size(controls); ++i) {
        SCOPED_TRACE(controls[i].name);
        EXPECT_EQ(children[i], controls[i].control);
        EXPECT_EQ(controls[i].control->objectName(), controls[i].name);
        EXPECT_EQ(controls[i].control->geometry(), twipsToPixels(controls[i].twips, tpp));
    }
    EXPECT_EQ(w.picIcon->pixmap().size(), QSize(32, 32));

    // Only the buttons take the focus, OK first.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.cmdOK);
    EXPECT_EQ(w.cmdOK->nextInFocusChain(), w.cmdSysInfo);
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.cmdSysInfo);
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.cmdOK);

    // The etched rule: grey from x 225 twips, white one pixel (15 twips) lower
    // from x 240; the dialog's own background above and below.
    const QImage image = w.grab().toImage();
    const auto px = [&](int xTwips, int yTwips) {
        return image.pixelColor(twipsToPixels(xTwips, tpp), twipsToPixels(yTwips, tpp));
    };
    EXPECT_EQ(px(225, 2430), QColor(128, 128, 128));
    EXPECT_EQ(px(3000, 2430), QColor(128, 128, 128));
    EXPECT_EQ(px(5655, 2430), QColor(128, 128, 128));
    EXPECT_EQ(px(240, 2445), QColor(255, 255, 255));
    EXPECT_EQ(px(5655, 2445), QColor(255, 255, 255));
    EXPECT_EQ(px(225, 2445), px(100, 2445));  // the white one starts a pixel later
    EXPECT_EQ(px(3000, 2415), w.palette().color(QPalette::Window));
    EXPECT_EQ(px(3000, 2460), w.palette().color(QPalette::Window));
}

TEST(AboutWindowTest, CentredOverOwnerAndOkUnloadsIt) {
    QWidget owner;
    owner.setGeometry(100, 80, 1000, 600);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    RecordingMessageBoxes boxes;
    RecordingLauncher launcher;
    FakeSystemInfoStore store;
    QPointer<frmAbout> about = new frmAbout(&owner, boxes, launcher, store);
    about->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    const QPoint offset = about->frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(launcher.started.isEmpty());
    EXPECT_TRUE(store.queried.isEmpty());
}

TEST(AboutWindowTest, EnterPressesTheFocusedButtonElseOk) {
    for (const Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(enter == Qt::Key_Return ? "Return" : "keypad Enter");
        Rig rig;
        rig.about->show();
        rig.about->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(rig.about));
        const auto press = [&] {
            QTest::keyClick(QApplication::focusWidget(), enter);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        QTest::keyClick(rig.about, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), rig.about->cmdSysInfo);
        press();
        ASSERT_FALSE(rig.about.isNull()) << "OK was pressed";
        ASSERT_EQ(rig.boxes.shown.size(), 1u) << "System Info... was not pressed";
        EXPECT_EQ(rig.boxes.shown[0].text, "System Information Is Unavailable At This Time");

        QTest::keyClick(rig.about, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), rig.about->cmdOK);
        press();
        EXPECT_TRUE(rig.about.isNull()) << "OK unloads the window";
        EXPECT_EQ(rig.boxes.shown.size(), 1u);
    }
}

SystemInfoStore::Value text(const QByteArray& s, bool terminated = true) {
    return {Type::Text, terminated ? s + '\0' : s};
}

TEST(AboutWindowTest, GetKeyValueReadsUpToTheBuffersSize) {
    const QByteArray a1023(1023, 'a');
    const QByteArray a1024(1024, 'a');
    const struct {
        const char* what;
        std::optional<SystemInfoStore::Value> stored;
        bool found;
        QString value;  // what the output holds afterwards ("old" on entry)
        bool throws;
    } cases[] = {
        {"missing", std::nullopt, false, "", false},
        {"text", text("/usr/bin/tool"), true, "/usr/bin/tool", false},
        {"text without terminator", text("/usr/bin/tool", false), true, "/usr/bin/tool", false},
        {"cut at the first NUL", text(QByteArray("ab\0cd", 5)), true, "ab", false},
        {"UTF-8", text("/opt/t\xc3\xa4st"), true, QStringLiteral("/opt/t\u00e4st"), false},
        {"empty", text(""), true, "", false},
        {"1023 bytes and NUL", text(a1023), true, QString(a1023), false},
        {"1023 bytes, no NUL", text(a1023, false), true, QString(a1023), false},
        {"1024 bytes and NUL: too long", text(a1024), false, "", false},
        {"1024 bytes, no NUL", text(a1024, false), false, "old", true},
        {"other type", SystemInfoStore::Value{Type::Other, "x\0y\0\0"}, true, "old", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        if (c.stored) rig.store.values[kTry1] = *c.stored;
        QString value = QStringLiteral("old");
        if (c.throws) {
            EXPECT_THROW(rig.about->GetKeyValue("Tool", "Path", value), std::invalid_argument);
        } else {
            EXPECT_EQ(rig.about->GetKeyValue("Tool", "Path", value), c.found);
        }
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(rig.store.queried, QStringList{kTry1});
    }
}

TEST(AboutWindowTest, SystemInfoTriesPathThenFolderElseOneMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tool = dir.filePath("tool");
    ASSERT_TRUE(writeTool(tool));
    const QString withTool = dir.filePath("with");
    const QString withoutTool = dir.filePath("without");
    const QString dirNamedTool = dir.filePath("dirnamed");
    ASSERT_TRUE(QDir().mkpath(withoutTool) && QDir().mkpath(dirNamedTool + "/hardinfo"));
    ASSERT_TRUE(QDir().mkpath(withTool) && QFile::link(tool, withTool + "/hardinfo"));
    const QString pwned = dir.filePath("pwned");

    const QByteArray toolBytes = tool.toUtf8();
    const auto folder = [](const QString& f) { return text(f.toUtf8()); };
    const struct {
        const char* what;
        std::optional<SystemInfoStore::Value> try1, try2;
        QStringList started;
        QStringList queried;
    } cases[] = {
        {"path: started at once", text(toolBytes), folder(withTool), {tool}, {kTry1}},
        {"path without terminator", text(toolBytes, false), std::nullopt, {tool}, {kTry1}},
        {"path empty", text(""), folder(withTool), {""}, {kTry1}},
        {"path to a missing file", text(toolBytes + "x"), folder(withTool), {tool + "x"}, {kTry1}},
        {"path of another type",
         SystemInfoStore::Value{Type::Other, toolBytes + '\0'},
         folder(withTool),
         {""},
         {kTry1}},
        {"path with shell characters",
         text(toolBytes + "; touch " + pwned.toUtf8()),
         std::nullopt,
         {tool + "; touch " + pwned},
         {kTry1}},
        {"path too long: folder next",
         text(QByteArray(1024, 'a')),
         folder(withTool),
         {withTool + "/hardinfo"},
         {kTry1, kTry2}},
        {"path unterminated at 1024 bytes",
         text(QByteArray(1024, 'a'), false),
         folder(withTool),
         {},
         {kTry1}},
        {"folder holding the tool",
         std::nullopt,
         folder(withTool),
         {withTool + "/hardinfo"},
         {kTry1, kTry2}},
        {"folder without the tool", std::nullopt, folder(withoutTool), {}, {kTry1, kTry2}},
        {"folder whose tool is a folder", std::nullopt, folder(dirNamedTool), {}, {kTry1, kTry2}},
        {"folder of another type",
         std::nullopt,
         SystemInfoStore::Value{Type::Other, "x"},
         {},
         {kTry1, kTry2}},
        {"both missing", std::nullopt, std::nullopt, {}, {kTry1, kTry2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        if (c.try1) rig.store.values[kTry1] = *c.try1;
        if (c.try2) rig.store.values[kTry2] = *c.try2;
        QTest::mouseClick(rig.about->cmdSysInfo, Qt::LeftButton);
        EXPECT_EQ(rig.launcher.started, c.started);
        EXPECT_EQ(rig.store.queried, c.queried);
        const bool ran =
            c.started == QStringList{tool} || c.started == QStringList{withTool + "/hardinfo"};
        if (ran) {
            EXPECT_TRUE(rig.boxes.shown.empty());
        } else {
            ASSERT_EQ(rig.boxes.shown.size(), 1u);
            EXPECT_EQ(rig.boxes.shown[0].caption, "Tarnwick");
            EXPECT_EQ(rig.boxes.shown[0].text, "System Information Is Unavailable At This Time");
            EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::None);
        }
        EXPECT_FALSE(rig.about.isNull());  // the window stays open
    }
    EXPECT_FALSE(QFile::exists(pwned));
}

TEST(AboutWindowTest, AnyFailureWhileStartingEndsInTheOneMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tool = dir.filePath("tool");
    const QString notExecutable = dir.filePath("plain");
    const QString folder = dir.filePath("folder");
    const QString withTool = dir.filePath("with");
    ASSERT_TRUE(writeTool(tool) && writeTool(notExecutable, {}));
    ASSERT_TRUE(QDir().mkpath(folder) && writeTool(folder + "/hardinfo", {}));
    ASSERT_TRUE(QDir().mkpath(withTool) && writeTool(withTool + "/hardinfo"));
    const auto path = [](const QString& p) { return text(p.toUtf8()); };
    using Throw = std::function<void()>;
    const std::nullopt_t none = std::nullopt;
    const struct {
        const char* what;
        std::optional<SystemInfoStore::Value> try1, try2;
        Throw storeThrows, launcherThrows;
    } cases[] = {
        {"store throws a std::exception",
         path(tool),
         none,
         [] { throw std::runtime_error("store"); },
         {}},
        {"store throws something else", path(tool), none, [] { throw 42; }, {}},
        {"launcher throws std::bad_alloc", path(tool), none, {}, [] { throw std::bad_alloc(); }},
        {"launcher throws std::logic_error",
         none,
         path(withTool),
         {},
         [] { throw std::logic_error("launcher"); }},
        {"launcher throws something else", path(tool), none, {}, [] { throw "launcher"; }},
        {"path to a missing file", path(tool + "x"), none, {}, {}},
        {"path to a file that is not executable", path(notExecutable), none, {}, {}},
        {"path to a folder", path(folder), none, {}, {}},
        {"folder whose tool is not executable", none, path(folder), {}, {}},
        {"path filling the buffer without a NUL", text(QByteArray(1024, 'a'), false), none, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        if (c.try1) rig.store.values[kTry1] = *c.try1;
        if (c.try2) rig.store.values[kTry2] = *c.try2;
        rig.store.before = c.storeThrows;
        rig.launcher.before = c.launcherThrows;
        QTest::mouseClick(rig.about->cmdSysInfo, Qt::LeftButton);
        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        EXPECT_EQ(rig.boxes.shown[0].caption, "Tarnwick");
        EXPECT_EQ(rig.boxes.shown[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::None);
        EXPECT_FALSE(rig.about.isNull());
    }
}

TEST(AboutWindowTest, StoreIsTheSystemConfigurationFile) {
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    ASSERT_TRUE(QDir(second.path()).mkpath("Tarnwick"));
    const QString file = second.filePath("Tarnwick/SystemInformation.conf");
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("Tool/Path", "/opt/tool; rm -rf x");
    }
    std::optional<ScopedEnv> dirs;
    dirs.emplace("XDG_CONFIG_DIRS", first.path() + ":relative:" + second.path());
    QtSystemInfoStore store;
    EXPECT_EQ(QtSystemInfoStore::locate(), file);
    const auto path = store.queryValue("Tool", "Path");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->type, Type::Text);
    EXPECT_EQ(path->data, QByteArray("/opt/tool; rm -rf x\0", 20));
    EXPECT_FALSE(store.queryValue("Tool", "Missing").has_value());
    EXPECT_FALSE(store.queryValue("ToolLocation", "Folder").has_value());

    // The default store the package installs: only the folder, /usr/bin.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::copy(TARNWICK_DEFAULT_SYSINFO_STORE, file));
    EXPECT_FALSE(store.queryValue("Tool", "Path").has_value());
    const auto folder = store.queryValue("ToolLocation", "Folder");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->data, QByteArray("/usr/bin\0", 9));

    // No configuration folder holds the file: nothing is found.
    dirs.emplace("XDG_CONFIG_DIRS", first.path());
    EXPECT_EQ(QtSystemInfoStore::locate(), QString());
    EXPECT_FALSE(store.queryValue("ToolLocation", "Folder").has_value());
}

TEST(AboutWindowTest, StoreValuesAreTheTextAsWrittenCommasAndAll) {
    const auto other = [](const QByteArray& data) {
        return SystemInfoStore::Value{Type::Other, data};
    };
    const struct {
        const char* what;
        QByteArray file;
        const char* key;
        const char* name;
        std::optional<SystemInfoStore::Value> value;
    } cases[] = {
        {"plain", "[Tool]\nPath=/opt/tool\n", "Tool", "Path", text("/opt/tool")},
        {"unquoted comma", "[Tool]\nPath=/opt/tools/sys,info\n", "Tool", "Path",
         text("/opt/tools/sys,info")},
        {"folder with a comma", "[ToolLocation]\nFolder=/usr/local/bin,x\n", "ToolLocation",
         "Folder", text("/usr/local/bin,x")},
        {"commas and spaces", "[Tool]\nPath = /opt/a, b ,c \t\n", "Tool", "Path",
         text("/opt/a, b ,c")},
        {"comma, then a comment", "[Tool]\r\nPath=/opt/a,b ; the tool\r\n", "Tool", "Path",
         text("/opt/a,b")},
        {"the last of two lines", "[Tool]\nPath=/a,b\n[Other]\nPath=/c,d\n[Tool]\nPath=/e,f\n",
         "Tool", "Path", text("/e,f")},
        {"quoted", "[Tool]\nPath=\"/opt/a,b; c\"\n", "Tool", "Path", text("/opt/a,b; c")},
        {"escaped", "[Tool]\nPath=/opt/t\\x00e4st\n", "Tool", "Path", text("/opt/t\xc3\xa4st")},
        {"byte array", "[Tool]\nPath=@ByteArray(abc)\n", "Tool", "Path", other("abc")},
        {"typed", "[Tool]\nPath=@Rect(1 2 3 4)\n", "Tool", "Path", other(QByteArray(1, '\0'))},
        {"another section", "[Other]\nPath=/a,b\n", "Tool", "Path", std::nullopt},
        {"another letter case", "[Tool]\npath=/a,b\n", "Tool", "Path", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StoreFile file(c.file);
        const auto value = QtSystemInfoStore().queryValue(c.key, c.name);
        ASSERT_EQ(value.has_value(), c.value.has_value());
        if (!value) continue;
        EXPECT_EQ(value->type, c.value->type);
        EXPECT_EQ(value->data, c.value->data);
    }
}

TEST(AboutWindowTest, AToolWhosePathHoldsACommaIsStarted) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkpath("bin,x"));
    const QString tool = dir.filePath("sys,info");
    const QString inFolder = dir.filePath("bin,x/hardinfo");
    ASSERT_TRUE(writeTool(tool) && writeTool(inFolder));
    const struct {
        QByteArray file;
        QString started;
    } cases[] = {
        {"[Tool]\nPath=" + tool.toUtf8() + "\n", tool},
        {"[ToolLocation]\nFolder=" + dir.filePath("bin,x").toUtf8() + "\n", inFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.started.toStdString());
        const StoreFile file(c.file);
        RecordingMessageBoxes boxes;
        RecordingLauncher launcher;
        QtSystemInfoStore store;
        QPointer<frmAbout> about = new frmAbout(nullptr, boxes, launcher, store);
        QTest::mouseClick(about->cmdSysInfo, Qt::LeftButton);
        EXPECT_EQ(launcher.started, QStringList{c.started});
        EXPECT_TRUE(boxes.shown.empty());
        delete about;
    }
}

}  // namespace
}  // namespace tarnwick::test
