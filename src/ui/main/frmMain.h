// frmMain, the program's working window: the controls the acquisition cycle and
// the logging write to, the page source view, the menu bar, the toolbar and the
// status bar. Every position and size is laid down in twips from the top left
// corner of the client area, which holds the toolbar and the status bar (the
// menu bar lies above it).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>
#include <optional>
#include <span>

#include "AddressBox.h"
#include "CaptionCheckBox.h"
#include "ClockStatusBar.h"
#include "CommandTable.h"
#include "CommonDialog.h"
#include "ImageList.h"
#include "LogControl.h"
#include "MainServices.h"
#include "PageText.h"
#include "PassRecorder.h"
#include "Seams.h"
#include "frmAbout.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QToolBar;

namespace tarnwick {

class ClientArea;
class MenuShortcutGuard;
class RepaintThrottle;

class frmMain : public QMainWindow, private CycleView {
    Q_OBJECT
  public:
    // Builds the whole window around the services it is handed; does not show
    // it. The services must outlive the window.
    explicit frmMain(const MainServices& services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Twips in one pixel, as used for the layout (15 at 96 dpi).
    double twipsPerPixel() const { return twipsPerPixel_; }

    // The client area (central widget), parent of every control below.
    QWidget* clientArea() const;

    // Controls, in the order the window creates them. Each one's objectName is
    // its member name.
    CaptionCheckBox* ChkSixteenSensors = nullptr;  // caption wraps onto two lines
    QLineEdit* txtRecNum = nullptr;
    QLineEdit* txtFileName = nullptr;
    QTimer* timTimer = nullptr;  // never started; nothing handles its ticks
    QLineEdit* txtTemperature = nullptr;
    QLineEdit* txtSensorNum = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnFileWrite = nullptr;
    AddressBox* cboAddress = nullptr;         // editable
    QPlainTextEdit* brwWebBrowser = nullptr;  // read-only source of the last adapter page
    QToolBar* tbToolBar = nullptr;
    ClockStatusBar* sbStatusBar = nullptr;
    CommonDialog dlgCommonDialog;
    ImageList imlToolbarIcons;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;

    // The three toolbar buttons "Align Left", "Center" and "Align Right":
    // checkable, at most one of them down.
    QActionGroup* tbAlignGroup = nullptr;

    // Menu bar. Separators are the mnu...Bar actions.
    QMenu* mnuFile = nullptr;
    QAction* mnuFileNew = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileClose = nullptr;
    QAction* mnuFileBar0 = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    QAction* mnuFileSaveAll = nullptr;
    QAction* mnuFileBar1 = nullptr;
    QAction* mnuFileProperties = nullptr;
    QAction* mnuFileBar2 = nullptr;
    QAction* mnuFilePageSetup = nullptr;
    QAction* mnuFilePrintPreview = nullptr;
    QAction* mnuFilePrint = nullptr;
    QAction* mnuFileBar3 = nullptr;
    QAction* mnuFileSend = nullptr;
    QAction* mnuFileBar4 = nullptr;
    std::array<QAction*, 3> mnuFileMRU{};  // hidden, empty; objectNames mnuFileMRU1..3
    QAction* mnuFileBar5 = nullptr;        // hidden
    QAction* mnuFileExit = nullptr;

    QMenu* mnuEdit = nullptr;
    QAction* mnuEditUndo = nullptr;
    QAction* mnuEditBar0 = nullptr;
    QAction* mnuEditCut = nullptr;
    QAction* mnuEditCopy = nullptr;
    QAction* mnuEditPaste = nullptr;
    QAction* mnuEditPasteSpecial = nullptr;

    QMenu* mnuView = nullptr;
    QAction* mnuViewToolbar = nullptr;    // checkable, checked
    QAction* mnuViewStatusBar = nullptr;  // checkable, checked
    QAction* mnuViewBar0 = nullptr;
    QAction* mnuViewRefresh = nullptr;
    QAction* mnuViewOptions = nullptr;
    QAction* mnuViewWebBrowser = nullptr;

    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpSearchForHelpOn = nullptr;
    QAction* mnuHelpBar0 = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // The command table (CommandTable.cpp): the menus and the toolbar are
    // built from it, and their commands run through it.
    static std::span<const MenuEntry> menuTable();
    static std::span<const ToolbarEntry> toolbarTable();

    // Commands (frmMainCommands.cpp).
    // View > Toolbar and View > Status Bar: flip the item's check mark, then
    // show the bar exactly when the item is checked. Choosing the menu item
    // does the same.
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    // The one handler of every toolbar button: dispatches on the button's key,
    // compared exactly in the table's order. An unknown key does nothing; a
    // failure inside the dispatch ends it silently.
    void tbToolBar_ButtonClick(QAction* button);
    // File > Open...: the shared Open dialog; nothing is done with the name.
    void mnuFileOpen_Click();
    // File > Page Setup...: the printer dialog; its result and every failure
    // are ignored.
    void mnuFilePageSetup_Click();
    // File > Exit: unloads the window exactly as its close box does.
    void mnuFileExit_Click();
    // Help > Contents, Help > Search For Help On...: the help file in the
    // desktop's viewer, or a message when there is none.
    void mnuHelpContents_Click();
    void mnuHelpSearchForHelpOn_Click();
    // Help > About: the About window, modal, owned by this window; created on
    // first use and reused while it is loaded.
    void mnuHelpAbout_Click();
    frmAbout* aboutWindow() const { return about_; }

  private:
    void runMenuCommand(const MenuEntry& entry);
    void showPlaceholder(const char* text);
    void showHelp();
    void showToolbarAsChecked();
    void showStatusBarAsChecked();

    QRect fromTwips(int left, int top, int width, int height) const;
    void createControls();
    void createToolbar();
    void createMenus();
    void arrangeTabOrder();
    void sizeToClientArea();

    double twipsPerPixel_ = 15.0;
    ClientArea* client_ = nullptr;
    MenuShortcutGuard* shortcutGuard_ = nullptr;
    RepaintThrottle* throttle_ = nullptr;

    // Behaviour (frmMainBehaviour.cpp)
  public:
    // Start-up: runs the load handling, which polls the adapter pass after
    // pass and returns only once the window has been unloaded.
    void Show();
    void Form_Load();
    // Reads the check box into the active sensor count: 16 checked, else 12.
    void SetSensorCount();
    void ChkSixteenSensors_Click();
    // Start Logging / Stop Logging.
    void btnFileWrite_Click();
    // Start Logging with `file` chosen: logging on, the name shown, the
    // caption "Stop Logging"; a file that cannot be opened gets a message box
    // and logging stays off.
    void startLogging(const QString& file);
    // Stop Program: closes the log file, unloads the window, ends the program.
    void btnStop_Click();
    // Unloading, on every route out (close box, File > Exit, Stop Program):
    // closes the log file, ends the acquisition cycle, unloads the other
    // windows newest first and, unless the window is minimised, writes its
    // placement ("MainLeft", "MainTop", "MainWidth", "MainHeight" in twips)
    // to the settings store.
    void Form_Unload();
    // Where an error that escaped a handler ends: the log file is closed
    // whole, the error is shown, and the cycle ends without the unload
    // handling (the program ends with a failure status).
    void endAfterUnhandledError(const QString& what);

    bool isUnloaded() const { return unloaded_; }
    std::int16_t activeSensorCount() const { return cycle_.activeCount(); }
    const AcquisitionCycle& cycle() const { return cycle_; }
    LogControl& logControl() { return log_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectBehaviour();
    // Closes the window and runs Form_Unload.
    void unload();
    // The four placement values, written to the settings store.
    void savePlacement();
    void showText(QLineEdit* box, const QString& text);
    void showAddress(const QString& url) override;
    void showPage(const QByteArray& html) override;
    // True when the page view changed.
    bool putPage(const QByteArray& html);
    // Before a paint: puts the newest address and page into their boxes and
    // has the page view painted again from where it changed since the last paint.
    void layOutPage();
    std::optional<QByteArray> pendingPage_;   // newer than the page view, while shown
    std::optional<ChangedLines> pageChange_;  // where the page view changed since it was painted
    void makeVisible() override;
    void showSensor(int number, const QString& word) override;
    // The sensor boxes' tooltip and description: the sensor shown, its
    // reading and its alarm.
    void showSensorTip();
    void passCompleted(const QStringList& words) override;
    void showAdapterFailure(const std::optional<QString>& reason) override;
    void showStatus();
    void alarmChanged(const AlarmEvent& event);

    MainServices services_;
    AcquisitionCycle cycle_;
    LogControl log_;
    // Each finished pass: the record, the status, the publisher. The first
    // status bar panel shows its status's headline, or "Status".
    PassRecorder recorder_;
    // The sensor in the sensor boxes (0 before the first) and its word.
    int shownSensor_ = 0;
    QString shownWord_;
    bool unloaded_ = false;
    QPointer<frmAbout> about_;
};

}  // namespace tarnwick
