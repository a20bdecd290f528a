// The window's ways out to the desktop: file dialogs, message boxes. The
// program uses the Qt ones; tests put their own in their place.
#pragma once

#include <QString>

class QWidget;

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // A modal Open dialog. Returns the chosen file's full name, or an empty
    // text when the user cancels. With `acceptNewName` a name that does not
    // exist yet may be chosen.
    virtual QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                    bool acceptNewName) = 0;
};

class MessageBoxes {
  public:
    enum class Icon { None, Information, Critical };
    virtual ~MessageBoxes() = default;
    // A modal box with a single OK button; returns when it is closed.
    virtual void show(QWidget* parent, const QString& caption, const QString& text, Icon icon) = 0;
};

class QtFileDialogs : public FileDialogs {
  public:
    QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                            bool acceptNewName) override;
};

class QtMessageBoxes : public MessageBoxes {
  public:
    void show(QWidget* parent, const QString& caption, const QString& text, Icon icon) override;
};
