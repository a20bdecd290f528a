#include "frmAbout.h"

#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <cstring>
#include <stdexcept>

#include "ApplicationTitle.h"
#include "ProgramIcon.h"
#include "Twips.h"

namespace tarnwick {

namespace {

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// The buffer a value is read into.
constexpr qsizetype kValueBufferBytes = 1024;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

AppVersion buildVersion() {
    return {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR, TARNWICK_VERSION_PATCH};
}

QString versionText(const AppVersion& version) {
    return QStringLiteral("Version %1.%2.%3")
        .arg(version.major)
        .arg(version.minor)
        .arg(version.revision);
}

frmAbout::frmAbout(QWidget* owner, MessageBoxes& messageBoxes, ProgramLauncher& launcher,
                   SystemInfoStore& store)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      messageBoxes_(messageBoxes),
      launcher_(launcher),
      store_(store),
      twipsPerPixel_(tarnwick::twipsPerPixel(owner != nullptr ? owner->screen() : nullptr)) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Project1"));
    setFixedSize(twipsToPixels(QSize(kClientWidth, kClientHeight), twipsPerPixel_));

    // Created in tab order: only the two buttons take the focus.
    cmdOK = Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdOK->setGeometry(FromTwips(4245, 2625, 1467, 345));
    cmdOK->setDefault(true);

    // Enter presses the focused button (both are auto-default), OK otherwise.
    cmdSysInfo = Named(new QPushButton(QStringLiteral("&System Info..."), this), "cmdSysInfo");
    cmdSysInfo->setGeometry(FromTwips(4260, 3075, 1452, 345));
    QWidget::setTabOrder(cmdOK, cmdSysInfo);

    picIcon = Named(new QLabel(this), "picIcon");
    picIcon->setGeometry(FromTwips(240, 240, 540, 540));
    picIcon->setPixmap(programIcon().pixmap(QSize(32, 32)));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon->setAccessibleName(kApplicationTitle);

    const auto label = [this](const char* name, const char* text, QRect twips) {
        auto* l = Named(new QLabel(QString::fromLatin1(text), this), name);
        l->setGeometry(FromTwips(twips.x(), twips.y(), twips.width(), twips.height()));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setWordWrap(true);
        return l;
    };
    lblDisclaimer = label("lblDisclaimer", "Warning: ...", {255, 2625, 3870, 825});
    lblVersion = label("lblVersion", "Version", {1050, 780, 4092, 225});
    lblTitle = label("lblTitle", "Application Title", {1050, 240, 4092, 480});
    lblDescription = label("lblDescription", "App Description", {1050, 1125, 4092, 1170});

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    Form_Load();
}

QRect frmAbout::FromTwips(int left, int top, int width, int height) const {
    return twipsToPixels(QRect(left, top, width, height), twipsPerPixel_);
}

QPoint frmAbout::FromTwips(QPoint twips) const {
    return {twipsToPixels(twips.x(), twipsPerPixel_), twipsToPixels(twips.y(), twipsPerPixel_)};
}

void frmAbout::Form_Load() {
    lblVersion->setText(versionText(buildVersion()));
    lblTitle->setText(kApplicationTitle);
}

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
    try {
        QString path;
        if (GetKeyValue(QString::fromLatin1(kSysInfoPathKey), QString::fromLatin1(kSysInfoPathName),
                        path)) {
            // Started as it stands, without looking for the file first.
            if (!launcher_.startDetached(path)) return;
        } else if (GetKeyValue(QString::fromLatin1(kSysInfoFolderKey),
                               QString::fromLatin1(kSysInfoFolderName), path)) {
            path += u'/' + QString::fromLatin1(kSysInfoToolFile);
            if (QFileInfo(path).isFile() && !launcher_.startDetached(path)) return;
        }
    } catch (...) {
        // Whatever failed (a value that could not be read as text, the store,
        // the launcher): unavailable, like the rest.
    }
    messageBoxes_.show(this, kApplicationTitle, kUnavailable, MessageBoxes::Icon::None);
}

bool frmAbout::GetKeyValue(const QString& key, const QString& name, QString& value) {
    const std::optional<SystemInfoStore::Value> stored = store_.queryValue(key, name);
    if (!stored || stored->data.size() > kValueBufferBytes) {
        value.clear();
        return false;
    }
    const qsizetype end = stored->data.indexOf('\0');
    if (end < 0 && stored->data.size() == kValueBufferBytes)
        throw std::invalid_argument("value fills the buffer without a terminating NUL");
    if (stored->type == SystemInfoStore::ValueType::Text)
        value = QString::fromUtf8(stored->data.left(end < 0 ? stored->data.size() : end));
    return true;
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    for (const LineElement& line : Line1) {
        painter.setPen(QPen(line.color, 0));
        painter.drawLine(FromTwips(line.from), FromTwips(line.to));
    }
}

}  // namespace tarnwick
