// The windows' ways out to the desktop: file and printer dialogs, message
// boxes, the per-user settings store and starting other programs. The program
// composes the Qt ones once at start-up (src/app); tests hand in their own.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tarnwick {

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // A modal Open dialog. Returns the chosen file's full name, or an empty
    // text when the user cancels. With `acceptNewName` a name that does not
    // exist yet may be chosen.
    virtual QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                    bool acceptNewName) = 0;
};

class PrinterDialogs {
  public:
    virtual ~PrinterDialogs() = default;
    // The desktop's modal printer (page setup) dialog. True when the user
    // accepted it; false on cancel or when it could not be shown.
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
    virtual void saveSetting(const QString& application, const QString& section,
                             const QString& key, const QString& value) = 0;
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

class QtFileDialogs : public FileDialogs {
  public:
    QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                            bool acceptNewName) override;
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

}  // namespace tarnwick
