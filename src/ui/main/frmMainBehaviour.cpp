// What frmMain does: start-up and the acquisition cycle it runs, the sensor
// count check box, logging on and off, Stop Program and unloading.
#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>

#include "AlarmNotification.h"
#include "ApplicationTitle.h"
#include "PageText.h"
#include "RepaintThrottle.h"
#include "Seams.h"
#include "SensorTip.h"
#include "Twips.h"
#include "frmMain.h"

namespace tarnwick {

namespace {
const QString kStartLogging = QStringLiteral("Start Logging");
const QString kStopLogging = QStringLiteral("Stop Logging");
// One entry that matches every file, names without a dot included.
const QString kLogFileFilter = QStringLiteral("all Files (*)");
const QString kStatusIdle = QStringLiteral("Status");
}  // namespace

void frmMain::connectBehaviour() {
    connect(ChkSixteenSensors, &QCheckBox::clicked, this, [this] { ChkSixteenSensors_Click(); });
    connect(btnFileWrite, &QPushButton::clicked, this, [this] { btnFileWrite_Click(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStop_Click(); });
}

void frmMain::Show() { Form_Load(); }

void frmMain::Form_Load() {
    cycle_.setAdapterAddress(services_.settings.adapterAddress);
    SetSensorCount();
    cycle_.setRoster(services_.settings.roster);
    recorder_.watchAlarms(services_.settings.roster, services_.settings.adapterAddress,
                          services_.settings.adapterAlarmMs);
    if (!services_.settings.logFile.isEmpty()) startLogging(services_.settings.logFile);
    if (!unloaded_) cycle_.run();
}

void frmMain::SetSensorCount() {
    // The box's value as 0 unchecked, 1 checked, 2 grayed.
    const Qt::CheckState state = ChkSixteenSensors->checkState();
    const int value = state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
    cycle_.setActiveCount(sensorCountForCheckValue(value));
}

void frmMain::ChkSixteenSensors_Click() { SetSensorCount(); }

void frmMain::btnFileWrite_Click() {
    if (log_.flag() != LogControl::kLoggingOff) {
        log_.stop();
        btnFileWrite->setText(kStartLogging);
        return;
    }
    dlgCommonDialog.Filter = kLogFileFilter;
    // A cancel here always comes back as an empty name, whatever an earlier
    // command set CancelError to.
    dlgCommonDialog.FileName = services_.fileDialogs.getOpenFileName(
        this, dlgCommonDialog.DialogTitle, dlgCommonDialog.Filter);
    const QString name = dlgCommonDialog.FileName;
    if (name.isEmpty() || unloaded_) return;
    startLogging(name);
}

void frmMain::startLogging(const QString& file) {
    if (std::optional<QString> failure = log_.start(file)) {
        // Logging stays off; the cycle goes on polling once the box is closed.
        services_.messageBoxes.show(this, kApplicationTitle, *failure,
                                    MessageBoxes::Icon::Critical);
        return;
    }
    txtFileName->setText(file);
    btnFileWrite->setText(kStopLogging);
}

void frmMain::btnStop_Click() {
    if (log_.flag() == LogControl::kLoggingOn) log_.stop();
    unload();
}

void frmMain::unload() {
    close();
    // Unloads even a window that was never shown.
    Form_Unload();
}

void frmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    // Whatever the route out, the log file is closed with every record whole.
    if (log_.isLogging()) log_.stop();
    cycle_.stop();

    // The other windows this one has loaded go first, newest first.
    QList<QWidget*> others;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) others.append(child);
    }
    for (auto it = others.rbegin(); it != others.rend(); ++it) (*it)->close();

    if (isMinimized()) return;  // the placement stored earlier stays
    savePlacement();
}

void frmMain::endAfterUnhandledError(const QString& what) {
    if (log_.isLogging()) log_.stop();
    services_.messageBoxes.show(this, kApplicationTitle, what, MessageBoxes::Icon::Critical);
    unloaded_ = true;
    cycle_.stop();
    hide();
}

void frmMain::savePlacement() {
    // The outer frame, decorations included, as decimal text of twips with
    // the user's decimal separator.
    const QRect frame = frameGeometry();
    const QLocale locale;
    const std::pair<const char*, int> values[] = {{"MainLeft", frame.x()},
                                                  {"MainTop", frame.y()},
                                                  {"MainWidth", frame.width()},
                                                  {"MainHeight", frame.height()}};
    for (const auto& [key, pixels] : values) {
        const float twips = static_cast<float>(pixelsToTwips(pixels, twipsPerPixel_));
        services_.settingsStore.saveSetting(kApplicationTitle, QStringLiteral("Settings"),
                                            QString::fromLatin1(key), twipsText(twips, locale));
    }
    // A store that cannot be written costs the placement, nothing else: the
    // log is closed already and the program ends normally.
    if (std::optional<QString> failure = services_.settingsStore.flush()) {
        std::fprintf(stderr, "tarnwick: the window placement was not saved: %s\n",
                     qPrintable(*failure));
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

// --- What the acquisition cycle shows in the window.

// A box is given a text only when it differs from the one it holds: the same
// text again costs a new layout and a repaint and shows nothing new. A new
// text is there at once; its painting waits for the throttle.
void frmMain::showText(QLineEdit* box, const QString& text) {
    if (box->text() == text) return;
    throttle_->hold(box);
    box->setText(text);
}

// The address and the page change with every page, many times between two
// paints, and giving a box its text lays it out at once (the address alone
// cost more than the page's field look-up). So while the window is shown,
// the address box holds the newest address as its value (AddressBox) and the
// page view keeps only the newest page; both are laid out just before the
// paint that shows them, and while the window is minimised not until it is
// restored. A window not shown yet (or hidden again) takes them at once: it
// paints nothing, and it is how it first appears.
void frmMain::showAddress(const QString& url) {
    cboAddress->setAddress(url, isVisible());
    if (isVisible()) throttle_->paintDue();
}

void frmMain::showPage(const QByteArray& html) {
    if (isVisible()) {
        pendingPage_ = html;
        throttle_->paintDue();
        return;
    }
    pendingPage_.reset();
    if (putPage(html)) throttle_->paintDue();
}

bool frmMain::putPage(const QByteArray& html) {
    QTextDocument* page = brwWebBrowser->document();
    // Laying the new text out for the screen waits for the paint (layOutPage).
    const QSignalBlocker quiet(page->documentLayout());
    page->setUndoRedoEnabled(false);  // a viewer: nothing to undo, nothing to keep
    const std::optional<ChangedLines> change = replaceChangedLines(*page, pageViewText(html));
    if (!change) return false;
    // With its layout quiet, the edit asks for no repaint by itself. Two
    // edits between paints are painted from the first change down.
    if (pageChange_) {
        pageChange_->from = std::min(pageChange_->from, change->from);
        pageChange_->moved = true;
    } else {
        pageChange_ = change;
    }
    return true;
}

void frmMain::layOutPage() {
    cboAddress->putPending();
    if (std::optional<QByteArray> html = std::exchange(pendingPage_, std::nullopt)) putPage(*html);
    const std::optional<ChangedLines> change = std::exchange(pageChange_, std::nullopt);
    if (!change) return;
    QTextDocument* page = brwWebBrowser->document();
    QAbstractTextDocumentLayout* layout = page->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    // The lines above the first change are as they were, and so are those
    // below the last when no line came or went; the lines between are
    // painted again, or all from the first change down when lines moved.
    const int last = page->characterCount() - 1;
    QTextCursor first(page);
    first.setPosition(std::min(change->from, last));
    first.movePosition(QTextCursor::StartOfBlock);
    QRect changed = brwWebBrowser->viewport()->rect();
    changed.setTop(std::max(changed.top(), brwWebBrowser->cursorRect(first).top()));
    if (!change->moved) {
        QTextCursor end(page);
        end.setPosition(std::min(std::max(change->to - 1, change->from), last));
        end.movePosition(QTextCursor::EndOfBlock);
        changed.setBottom(std::min(changed.bottom(), brwWebBrowser->cursorRect(end).bottom()));
    }
    if (changed.isValid()) brwWebBrowser->viewport()->update(changed);
}

void frmMain::makeVisible() {
    // A window the user has minimised, moved or put behind others is visible
    // already and stays as it is.
    if (!isVisible()) show();
}

void frmMain::showSensor(int number, const QString& word) {
    const QString shownNumber = QString::number(number);
    showText(txtSensorNum, shownNumber);
    showText(txtTemperature, word);
    shownSensor_ = number;
    shownWord_ = word;
    showSensorTip();
}

void frmMain::showSensorTip() {
    if (shownSensor_ == 0) return;
    const int slot = shownSensor_ - 1;
    // The name, the degrees and any alarm, for a hover and for a screen
    // reader. The alarm is the one the last whole pass left.
    const QString tip = sensorTip(cycle_.roster().atSlot(slot), shownSensor_, shownWord_, QLocale(),
                                  recorder_.alarms().atSlot(slot));
    if (tip == txtTemperature->toolTip()) return;
    for (QLineEdit* box : {txtSensorNum, txtTemperature}) {
        box->setToolTip(tip);
        box->setAccessibleDescription(tip);
    }
}

void frmMain::passCompleted(const QStringList& words) {
    const LogControl::RecordResult r = recorder_.record(cycle_.roster(), words);
    if (r.written) showText(txtRecNum, QString::number(r.shownNumber));
    // The pass may have raised or cleared the alarm of the sensor shown.
    showSensorTip();
}

void frmMain::showAdapterFailure(const std::optional<QString>& reason) {
    recorder_.adapterChanged(reason);
}

void frmMain::showStatus() {
    sbStatusBar->setStatusText(recorder_.status().headline().value_or(kStatusIdle));
}

void frmMain::alarmChanged(const AlarmEvent& event) {
    if (services_.settings.notifications)
        services_.desktopNotifier.notify(alarmNotification(event, QLocale()));
}

}  // namespace tarnwick
