// frmAbout: names the program and its version and starts the desktop's
// system-information tool. Every position and size is laid down in twips from
// the top left corner of the client area.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPoint>
#include <QString>
#include <array>

#include "Seams.h"

class QLabel;
class QPushButton;

namespace tarnwick {

// The three parts of a version number.
struct AppVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// This build's version, from the project's version in CMake.
AppVersion buildVersion();

// "Version 1.0.0": each number in plain decimal.
QString versionText(const AppVersion& version);

// The system-information tool the About window starts, and where it looks for
// it in the system-wide store: first the tool's full path, then the folder
// that holds `kSysInfoToolFile`.
inline constexpr char kSysInfoPathKey[] = "Tool";
inline constexpr char kSysInfoPathName[] = "Path";
inline constexpr char kSysInfoFolderKey[] = "ToolLocation";
inline constexpr char kSysInfoFolderName[] = "Folder";
inline constexpr char kSysInfoToolFile[] = "hardinfo";

class frmAbout : public QDialog {
    Q_OBJECT
  public:
    // A fixed-size dialog owned by `owner`, centred over it when first shown.
    // Loads itself (Form_Load) here. It deletes itself when unloaded (OK, the
    // close box, Escape), so create it with new; show it with exec() for the
    // modal About box.
    frmAbout(QWidget* owner, MessageBoxes& messageBoxes, ProgramLauncher& launcher,
             SystemInfoStore& store);

    static constexpr int kClientWidth = 5895;  // twips
    static constexpr int kClientHeight = 3675;

    // Twips in one pixel, as used for the layout (15 at 96 dpi).
    double twipsPerPixel() const { return twipsPerPixel_; }

    // Controls, created in tab order. Each one's objectName is its member name.
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* picIcon = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblDescription = nullptr;

    // The etched rule: element 1 grey on top, element 0 white 15 twips lower.
    struct LineElement {
        QPoint from;  // twips
        QPoint to;
        QColor color;
    };
    std::array<LineElement, 2> Line1{{
        {{240, 2445}, {5657, 2445}, QColor(255, 255, 255)},
        {{225, 2430}, {5657, 2430}, QColor(128, 128, 128)},
    }};

    // Fills the title and version labels; nothing else changes.
    void Form_Load();
    // Unloads the window.
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Finds the system-information tool in the store and starts it, or says
    // "System Information Is Unavailable At This Time": every failure on the
    // way, whatever it throws or returns, ends in that one message.
    void StartSysInfo();

    // Reads one value of the store as text into `value`. True when the value
    // was found: a text value gives its text up to its first NUL; any other
    // type leaves `value` as it was. False, with `value` emptied, when the key
    // or value is missing or its data is longer than 1024 bytes. Throws
    // std::invalid_argument for data of exactly 1024 bytes with no NUL in
    // them (nowhere to cut the text).
    bool GetKeyValue(const QString& key, const QString& name, QString& value);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect FromTwips(int left, int top, int width, int height) const;
    QPoint FromTwips(QPoint twips) const;

    MessageBoxes& messageBoxes_;
    ProgramLauncher& launcher_;
    SystemInfoStore& store_;
    double twipsPerPixel_ = 15.0;
};

}  // namespace tarnwick
