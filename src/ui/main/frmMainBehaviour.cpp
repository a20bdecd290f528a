// What frmMain does: start-up and the acquisition cycle it runs, the sensor
// count check box, logging on and off, Stop Program and unloading.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>

#include "HtmlField.h"
#include "NetworkBrowser.h"
#include "Seams.h"
#include "frmMain.h"

using tarnwick::AcquisitionCycle;

namespace {
const QString kAppTitle = QStringLiteral("Tarnwick");
const QString kStartLogging = QStringLiteral("Start Logging");
const QString kStopLogging = QStringLiteral("Stop Logging");
// One entry that matches every file, names without a dot included.
const QString kLogFileFilter = QStringLiteral("all Files (*)");
const QString kStatusIdle = QStringLiteral("Status");
}  // namespace

void frmMain::ConnectBehaviour() {
    connect(ChkSixteenSensors, &QCheckBox::clicked, this, [this] { ChkSixteenSensors_Click(); });
    connect(btnFileWrite, &QPushButton::clicked, this, [this] { btnFileWrite_Click(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStop_Click(); });
}

void frmMain::setServices(MainServices services) { m_services = std::move(services); }

void frmMain::Show() { Form_Load(); }

void frmMain::Form_Load() {
    if (!m_services.browser) {
        m_ownBrowser = std::make_unique<tarnwick::NetworkBrowser>();
        m_services.browser = m_ownBrowser.get();
    }
    if (!m_services.pump) {
        m_ownPump = std::make_unique<tarnwick::QtEventPump>();
        m_services.pump = m_ownPump.get();
    }
    if (!m_services.clock) {
        m_ownClock = std::make_unique<tarnwick::SteadyClock>();
        m_services.clock = m_ownClock.get();
    }
    if (!m_services.localNow) m_services.localNow = [] { return QDateTime::currentDateTime(); };
    if (!m_services.fileDialogs) {
        m_ownFileDialogs = std::make_unique<tarnwick::QtFileDialogs>();
        m_services.fileDialogs = m_ownFileDialogs.get();
    }
    if (!m_services.messageBoxes) {
        m_ownMessageBoxes = std::make_unique<tarnwick::QtMessageBoxes>();
        m_services.messageBoxes = m_ownMessageBoxes.get();
    }

    m_cycle = std::make_unique<AcquisitionCycle>(
        *m_services.browser, *m_services.pump, *m_services.clock,
        static_cast<tarnwick::CycleView&>(*this), m_services.timing);
    m_cycle->setAdapterAddress(m_services.adapterAddress);
    SetSensorCount();
    m_cycle->setIdentifiers(m_services.roster);
    if (!m_unloaded) m_cycle->run();
}

std::int16_t frmMain::activeSensorCount() const {
    return m_cycle ? m_cycle->activeCount() : std::int16_t{12};
}

void frmMain::SetSensorCount() {
    // The box's value as 0 unchecked, 1 checked, 2 grayed.
    const Qt::CheckState state = ChkSixteenSensors->checkState();
    const int value = state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
    if (m_cycle) m_cycle->setActiveCount(tarnwick::sensorCountForCheckValue(value));
}

void frmMain::ChkSixteenSensors_Click() { SetSensorCount(); }

void frmMain::btnFileWrite_Click() {
    if (m_log.flag() != tarnwick::LogControl::kLoggingOff) {
        m_log.stop();
        btnFileWrite->setText(kStartLogging);
        return;
    }
    dlgCommonDialog.Filter = kLogFileFilter;
    // A cancel here always comes back as an empty name, whatever an earlier
    // command set CancelError to.
    dlgCommonDialog.FileName = m_services.fileDialogs->getOpenFileName(
        this, dlgCommonDialog.DialogTitle, dlgCommonDialog.Filter, true);
    const QString name = dlgCommonDialog.FileName;
    if (name.isEmpty() || m_unloaded) return;
    if (std::optional<QString> failure = m_log.start(name)) {
        // Logging stays off; the cycle goes on polling once the box is closed.
        m_services.messageBoxes->show(this, kAppTitle, *failure, tarnwick::MessageBoxes::Icon::Critical);
        return;
    }
    txtFileName->setText(name);
    btnFileWrite->setText(kStopLogging);
}

void frmMain::btnStop_Click() {
    if (m_log.flag() == tarnwick::LogControl::kLoggingOn) m_log.stop();
    close();
    // Ends the program even if the window was never shown.
    Form_Unload();
}

void frmMain::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    // Whatever the route out, the log file is closed with every record whole.
    if (m_log.isLogging()) m_log.stop();
    if (m_cycle) m_cycle->stop();
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

// --- What the acquisition cycle shows in the window.

void frmMain::showAddress(const QString& url) { cboAddress->setEditText(url); }

void frmMain::showPage(const QByteArray& html) {
    brwWebBrowser->setPlainText(tarnwick::decodePage(html));
}

void frmMain::makeVisible() {
    // A window the user has minimised, moved or put behind others is visible
    // already and stays as it is.
    if (!isVisible()) show();
}

void frmMain::showSensor(int number, const QString& word) {
    txtSensorNum->setText(QString::number(number));
    txtTemperature->setText(word);
}

void frmMain::passCompleted(const QStringList& words) {
    const tarnwick::LogControl::RecordResult r =
        m_log.writeRecord(words, m_services.localNow(), QLocale());
    if (!r.attempted) return;
    if (r.written) {
        txtRecNum->setText(QString::number(r.shownNumber));
        if (m_logFailureShown) {
            sbStatusBar->setStatusText(kStatusIdle);
            m_logFailureShown = false;
        }
    } else {
        sbStatusBar->setStatusText(QStringLiteral("Log write failed: ") + r.error);
        m_logFailureShown = true;
    }
}
