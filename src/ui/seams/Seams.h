// The windows' ways out to the desktop: file and printer dialogs, message
// boxes, the per-user settings store, starting other programs and the
// desktop's notifications. The program composes the real ones once at
// start-up (src/app); tests hand in their own.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tarnwick {

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // A modal Open dialog. Returns the chosen file's full name, or an empty
    // text when the user cancels. Any name may be chosen, one that does not
    // exist yet as well: what becomes of it is the caller's business.
    virtual QString getOpenFileName(QWidget* parent, const QString& title,
                                    const QString& filter) = 0;
};

class PrinterDialogs {
  public:
    virtual ~PrinterDialogs() = default;
    // The desktop's modal printer dialog, where a printer is chosen, under
    // `title`. True when the user accepted it; false on cancel or when it
    // could not be shown.
    virtual bool showPageSetup(QWidget* parent, const QString& title) = 0;
};

class MessageBoxes {
  public:
    enum class Icon { None, Information, Critical };
    virtual ~MessageBoxes() = default;
    // A modal box with a single OK button; returns when it is closed.
    virtual void show(QWidget* parent, const QString& caption, const QString& text, Icon icon) = 0;
};

// The per-user settings store: text values under application, section, key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual void saveSetting(const QString& application, const QString& section, const QString& key,
                             const QString& value) = 0;
    // Writes what was saved through to its backing; the reason when that failed.
    virtual std::optional<QString> flush() = 0;
};

// Starts another program by path, detached, not waited for.
class ProgramLauncher {
  public:
    virtual ~ProgramLauncher() = default;
    // The program path is used as it stands, never handed to a shell. The
    // reason when it could not be started.
    virtual std::optional<QString> startDetached(const QString& program,
                                                 const QStringList& arguments = {}) = 0;
};

// A system-wide key/value store, read only: where the About window looks for
// the system-information tool.
class SystemInfoStore {
  public:
    enum class ValueType { Text, Other };
    struct Value {
        ValueType type = ValueType::Text;
        // The bytes as stored (UTF-8); a text value normally ends in one NUL.
        QByteArray data;
    };
    virtual ~SystemInfoStore() = default;
    // The value `name` under `key`; nothing when the store, the key or the
    // value is missing or cannot be read.
    virtual std::optional<Value> queryValue(const QString& key, const QString& name) = 0;
};

// A notification for the desktop to show for a while: a line that says what
// happened, and a few lines more.
struct DesktopNotification {
    enum class Urgency { Normal, Critical };
    QString summary;
    QString body;
    Urgency urgency = Urgency::Normal;

    bool operator==(const DesktopNotification&) const = default;
};

// Tells the desktop's notification service. Never waits for it and never
// fails aloud: a desktop without one shows nothing.
class DesktopNotifier {
  public:
    virtual ~DesktopNotifier() = default;
    virtual void notify(const DesktopNotification& notification) = 0;
};

class QtFileDialogs : public FileDialogs {
  public:
    QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter) override;
};

class QtPrinterDialogs : public PrinterDialogs {
  public:
    bool showPageSetup(QWidget* parent, const QString& title) override;
};

class QtMessageBoxes : public MessageBoxes {
  public:
    void show(QWidget* parent, const QString& caption, const QString& text, Icon icon) override;
};

// QSettings in its native format (an INI file under the user's config folder
// on Linux, XDG_CONFIG_HOME honoured); the application name is the file name.
class QtSettingsStore : public SettingsStore {
  public:
    void saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;
    std::optional<QString> flush() override;

  private:
    std::optional<QString> failure_;
};

class QtProgramLauncher : public ProgramLauncher {
  public:
    std::optional<QString> startDetached(const QString& program,
                                         const QStringList& arguments = {}) override;
};

// The INI file "Tarnwick/SystemInformation.conf" in the system configuration
// folders (XDG_CONFIG_DIRS, /etc/xdg when unset), read with QSettings; the
// first folder that holds the file wins. A key is an INI group, a name a key
// in it. A plain value is text, and so is one with an unquoted comma (which
// QSettings would read as a list): its text as written, commas and all.
// Anything else (a byte array, a typed value such as "@Rect(...)") is Other.
class QtSystemInfoStore : public SystemInfoStore {
  public:
    std::optional<Value> queryValue(const QString& key, const QString& name) override;
    // The file that would be read; empty when no configuration folder holds it.
    static QString locate();
};

}  // namespace tarnwick
