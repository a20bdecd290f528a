#include "Seams.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <utility>

namespace tarnwick {

QString QtFileDialogs::getOpenFileName(QWidget* parent, const QString& title,
                                       const QString& filter) {
    QFileDialog dialog(parent, title.isEmpty() ? QStringLiteral("Open") : title, QString(), filter);
    // The desktop's own dialog may refuse a name that does not exist yet in
    // Open mode; Qt's dialog honours AnyFile.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (filter.endsWith(QLatin1String("(*.*)"))) {
        // "*.*" is the every-file pattern of such filters. Here a name needs
        // no dot, so the entry is shown as written and matches with "*".
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(filter + QStringLiteral(" (*)"));
    }
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

bool QtPrinterDialogs::showPageSetup(QWidget* parent, const QString& title) {
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
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

void QtSettingsStore::saveSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, application, application);
    settings.setValue(section + u'/' + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError && !failure_)
        failure_ = QStringLiteral("Cannot write the settings file %1").arg(settings.fileName());
}

std::optional<QString> QtSettingsStore::flush() { return std::exchange(failure_, std::nullopt); }

std::optional<QString> QtProgramLauncher::startDetached(const QString& program,
                                                        const QStringList& arguments) {
    if (program.isEmpty()) return QStringLiteral("No program to start");
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!process.startDetached()) return process.errorString();
    return std::nullopt;
}

QString QtSystemInfoStore::locate() {
    const QString relative = QStringLiteral("Tarnwick/SystemInformation.conf");
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isRelativePath(dir)) continue;  // XDG: relative entries are ignored
        const QString path = QDir(dir).filePath(relative);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

namespace {

// The text after "=" of the last line `name=...` in section `[key]` of an INI
// file, as written: up to a ";" outside quotes (where the line ends for
// QSettings too), without the spaces around it. Nothing when no line has it.
std::optional<QByteArray> rawIniValue(const QString& path, const QString& key,
                                      const QString& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray data = file.readAll();
    if (data.startsWith("\xef\xbb\xbf")) data.remove(0, 3);
    data.replace('\r', '\n');  // a line ends at either
    const QByteArray section = key.toUtf8();
    const QByteArray wanted = name.toUtf8();
    std::optional<QByteArray> found;
    bool inSection = false;
    for (const QByteArray& raw : data.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            inSection = close > 0 && line.mid(1, close - 1).trimmed() == section;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inSection || line.startsWith(';') || equals < 0) continue;
        if (line.left(equals).trimmed() != wanted) continue;
        qsizetype end = equals + 1;
        for (bool quoted = false; end < line.size(); ++end) {
            const char c = line.at(end);
            if (c == '\\') {
                ++end;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (c == ';' && !quoted) {
                break;
            }
        }
        found = line.mid(equals + 1, std::min(end, line.size()) - equals - 1).trimmed();
    }
    return found;
}

}  // namespace

std::optional<SystemInfoStore::Value> QtSystemInfoStore::queryValue(const QString& key,
                                                                    const QString& name) {
    const QString path = locate();
    if (path.isEmpty()) return std::nullopt;
    const QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) return std::nullopt;
    const QVariant value = settings.value(key + u'/' + name);
    if (!value.isValid()) return std::nullopt;
    if (value.typeId() == QMetaType::QString)
        return Value{ValueType::Text, value.toString().toUtf8().append('\0')};
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList) {
        // QSettings reads an unquoted comma as a list; a path may hold one
        // ("/opt/tools/sys,info"), so the value is the text as written.
        if (std::optional<QByteArray> raw = rawIniValue(path, key, name))
            return Value{ValueType::Text, raw->append('\0')};
    }
    if (value.typeId() == QMetaType::QByteArray)
        return Value{ValueType::Other, value.toByteArray()};
    // A typed value ("@Rect(...)" and the like): its text form, if any.
    return Value{ValueType::Other, value.toString().toUtf8().append('\0')};
}

}  // namespace tarnwick
