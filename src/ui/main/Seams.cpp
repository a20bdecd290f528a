#include "Seams.h"

#include <QFileDialog>
#include <QMessageBox>

QString QtFileDialogs::getOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                       bool acceptNewName) {
    QFileDialog dialog(parent, title.isEmpty() ? QStringLiteral("Open") : title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(acceptNewName ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The desktop's own dialog may refuse a name that does not exist yet in
    // Open mode; Qt's dialog honours AnyFile.
    if (acceptNewName) dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void QtMessageBoxes::show(QWidget* parent, const QString& caption, const QString& text, Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Critical  ? QMessageBox::Critical
                                          : QMessageBox::NoIcon);
    box.exec();
}
