#include "frmMain.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <iterator>
#include <vector>

#include "CaptionCheckBox.h"
#include "ClientArea.h"
#include "MenuShortcutGuard.h"
#include "RepaintThrottle.h"
#include "ToolbarIcons.h"
#include "Twips.h"

namespace tarnwick {

namespace {

// Client area, in twips.
constexpr int kClientWidth = 15120;
constexpr int kClientHeight = 8175;
// Docked bars, in twips.
constexpr int kToolBarHeight = 420;
constexpr int kStatusBarHeight = 270;
// Least width of a status bar panel, in twips.
constexpr int kPanelMinimumWidth = 1440;
// Toolbar buttons and their pictures, in pixels.
constexpr QSize kButtonSize{23, 22};
constexpr QSize kIconSize{16, 16};

// The layout was drawn for captions in an 8-point face. When the captions of
// the labels and the check box do not all fit their boxes in that face, they
// share the first narrower variant in which they do (semi-condensed, then
// condensed), and failing that a smaller size, down to 6 points.
constexpr qreal kDesignPointSize = 8.0;
constexpr qreal kSmallestPointSize = 6.0;

struct Caption {
    QString text;
    QSize box;
};

// True when `text`, wrapped at word boundaries, fits in `box`; the last line
// may lose its descenders.
bool captionFits(const QFont& font, const Caption& caption) {
    const QFontMetrics metrics(font);
    const QRect needed = metrics.boundingRect(QRect(0, 0, caption.box.width(), 1 << 20),
                                              Qt::TextWordWrap, caption.text);
    return needed.width() <= caption.box.width() &&
           needed.height() - metrics.descent() <= caption.box.height();
}

QFont fitCaptions(QFont font, const std::vector<Caption>& captions) {
    const auto allFit = [&captions](const QFont& f) {
        return std::all_of(captions.begin(), captions.end(),
                           [&f](const Caption& c) { return captionFits(f, c); });
    };
    for (int stretch :
         {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        font.setStretch(stretch);
        if (allFit(font)) return font;
    }
    for (qreal size = font.pointSizeF() - 0.5; size >= kSmallestPointSize; size -= 0.5) {
        font.setPointSizeF(size);
        if (allFit(font)) break;
    }
    return font;
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

frmMain::frmMain(const MainServices& services, QWidget* parent)
    : QMainWindow(parent),
      twipsPerPixel_(tarnwick::twipsPerPixel(screen())),
      services_(services),
      cycle_(services_.browser, services_.pump, services_.clock, *this, services_.settings.timing),
      log_(services_.clock, services_.wallClock, systemDataSync(),
           services_.settings.syncIntervalMs),
      recorder_(log_, services_.publisher, services_.alarmOutlet, services_.passObserver,
                services_.clock, services_.wallClock,
                {.headline = [this] { showStatus(); },
                 .alarm = [this](const AlarmEvent& event) { alarmChanged(event); }}) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Project1"));

    client_ = named(new ClientArea(this), "clientArea");
    QFont font = client_->font();
    font.setPointSizeF(kDesignPointSize);
    client_->setFont(font);
    setCentralWidget(client_);

    createMenus();
    createControls();
    arrangeTabOrder();
    sizeToClientArea();

    shortcutGuard_ = new MenuShortcutGuard(menuBar(), this);
    shortcutGuard_->guard(client_);

    connectBehaviour();
    // The cycle changes the window after every page; it is painted at most
    // four times a second (as often as a person can follow it), and not at
    // all while it cannot be seen.
    throttle_ = new RepaintThrottle(this);
    throttle_->setBeforePaint([this] { layOutPage(); });
}

frmMain::~frmMain() = default;

QWidget* frmMain::clientArea() const { return client_; }

QRect frmMain::fromTwips(int left, int top, int width, int height) const {
    return twipsToPixels(QRect(left, top, width, height), twipsPerPixel_);
}

void frmMain::createControls() {
    ChkSixteenSensors =
        named(new CaptionCheckBox(QStringLiteral("Sixteen Sensors"), client_), "ChkSixteenSensors");
    ChkSixteenSensors->setGeometry(fromTwips(480, 4560, 972, 492));

    txtRecNum = named(new QLineEdit(client_), "txtRecNum");
    txtRecNum->setGeometry(fromTwips(3840, 6240, 850, 300));

    txtFileName = named(new QLineEdit(client_), "txtFileName");
    txtFileName->setGeometry(fromTwips(3840, 5760, 3970, 300));

    timTimer = named(new QTimer(this), "timTimer");

    txtTemperature = named(new QLineEdit(client_), "txtTemperature");
    txtTemperature->setGeometry(fromTwips(360, 3360, 1090, 610));

    txtSensorNum = named(new QLineEdit(client_), "txtSensorNum");
    txtSensorNum->setGeometry(fromTwips(360, 2280, 1090, 610));

    btnStop = named(new QPushButton(QStringLiteral("Stop Program"), client_), "btnStop");
    btnStop->setGeometry(fromTwips(11760, 5760, 1690, 730));

    btnFileWrite = named(new QPushButton(QStringLiteral("Start Logging"), client_), "btnFileWrite");
    btnFileWrite->setGeometry(fromTwips(1920, 5760, 1690, 730));

    cboAddress = named(new AddressBox(client_), "cboAddress");
    cboAddress->setGeometry(fromTwips(1920, 360, 11650, 280));

    brwWebBrowser = named(new QPlainTextEdit(client_), "brwWebBrowser");
    brwWebBrowser->setReadOnly(true);
    brwWebBrowser->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
    brwWebBrowser->setTabChangesFocus(true);
    brwWebBrowser->setGeometry(fromTwips(1920, 960, 11650, 4570));

    // The boxes the cycle writes to after every page show ASCII: they skip
    // the text shaper where the script does not need it (a third of a
    // paint's cost, and of each new text's layout, went to it).
    for (QWidget* box : std::initializer_list<QWidget*>{txtRecNum, txtTemperature, txtSensorNum,
                                                        cboAddress, brwWebBrowser}) {
        QFont font = box->font();
        font.setStyleStrategy(QFont::PreferNoShaping);
        box->setFont(font);
    }

    imlToolbarIcons = buildToolbarIcons();
    createToolbar();

    sbStatusBar =
        named(new ClockStatusBar(services_.wallClock,
                                 twipsToPixels(kPanelMinimumWidth, twipsPerPixel_), client_),
              "sbStatusBar");
    sbStatusBar->setGeometry(
        fromTwips(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight));

    Label3 = named(new QLabel(QStringLiteral("Records Written"), client_), "Label3");
    Label3->setGeometry(fromTwips(4800, 6240, 850, 370));
    Label2 = named(new QLabel(QStringLiteral("Temperature"), client_), "Label2");
    Label2->setGeometry(fromTwips(360, 3120, 1210, 250));
    Label1 = named(new QLabel(QStringLiteral("Sensor Number"), client_), "Label1");
    Label1->setGeometry(fromTwips(360, 1920, 1210, 250));
    std::vector<Caption> captions;
    for (QLabel* label : {Label1, Label2, Label3}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        captions.push_back({label->text(), label->contentsRect().size()});
    }
    captions.push_back({ChkSixteenSensors->text(), ChkSixteenSensors->captionRect().size()});
    const QFont captionFont = fitCaptions(client_->font(), captions);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(ChkSixteenSensors)}) {
        w->setFont(captionFont);
    }

    // The address line overlaps the toolbar's lower edge and stays in front of it.
    cboAddress->raise();
    client_->dockBars(tbToolBar, sbStatusBar);
}

void frmMain::createToolbar() {
    tbToolBar = named(new QToolBar(client_), "tbToolBar");
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(kIconSize);
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbToolBar->setGeometry(fromTwips(0, 0, kClientWidth, kToolBarHeight));

    tbAlignGroup = new QActionGroup(tbToolBar);
    tbAlignGroup->setObjectName(QStringLiteral("tbAlignGroup"));
    tbAlignGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);

    for (const ToolbarEntry& entry : toolbarTable()) {
        const QString key = QString::fromLatin1(entry.key);
        if (key.isEmpty()) {
            tbToolBar->addSeparator();
            continue;
        }
        // The key is also the button's text, which screen readers announce; the
        // icon-only style keeps it off the face.
        QAction* button = tbToolBar->addAction(imlToolbarIcons.icon(key), key);
        button->setObjectName(key);
        button->setData(key);
        button->setToolTip(key);
        if (entry.grouped) {
            button->setCheckable(true);
            tbAlignGroup->addAction(button);
        }
        QWidget* widget = tbToolBar->widgetForAction(button);
        widget->setObjectName(QStringLiteral("tbButton_") + key);
        widget->setFixedSize(kButtonSize);
        widget->setFocusPolicy(Qt::NoFocus);
        widget->setAccessibleName(key);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* button) { tbToolBar_ButtonClick(button); });
}

void frmMain::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* current = nullptr;
    std::size_t mru = 0;
    for (const MenuEntry& entry : menuTable()) {
        const QString name = QString::fromLatin1(entry.name);
        if (entry.kind == MenuEntry::Kind::Menu) {
            current = bar->addMenu(QString::fromLatin1(entry.caption));
            current->setObjectName(name);
            current->menuAction()->setObjectName(name);
            this->*entry.menu = current;
            continue;
        }
        QAction* action = entry.kind == MenuEntry::Kind::Separator
                              ? current->addSeparator()
                              : current->addAction(QString::fromLatin1(entry.caption));
        action->setObjectName(name);
        if (entry.kind == MenuEntry::Kind::Item) {
            action->setShortcut(
                QKeySequence(QString::fromLatin1(entry.shortcut), QKeySequence::PortableText));
            action->setShortcutContext(Qt::WindowShortcut);
            action->setCheckable(entry.checkable);
            action->setChecked(entry.checkable);
            connect(action, &QAction::triggered, this, [this, &entry] { runMenuCommand(entry); });
        }
        action->setVisible(entry.visible);
        if (entry.action != nullptr) {
            this->*entry.action = action;
        } else {
            mnuFileMRU.at(mru++) = action;
        }
    }
}

void frmMain::arrangeTabOrder() {
    // Among the controls that take the focus, in this order; the toolbar, the
    // status bar and the labels never do.
    QWidget* const order[] = {brwWebBrowser, cboAddress,   btnFileWrite,
                              btnStop,       txtSensorNum, txtTemperature,
                              txtFileName,   txtRecNum,    ChkSixteenSensors};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    for (QWidget* w : client_->findChildren<QWidget*>()) {
        if (std::find(std::begin(order), std::end(order), w) == std::end(order) &&
            !cboAddress->isAncestorOf(w) && !brwWebBrowser->isAncestorOf(w)) {
            w->setFocusPolicy(Qt::NoFocus);
        }
    }
    brwWebBrowser->setFocus();
}

void frmMain::sizeToClientArea() {
    const QSize client = twipsToPixels(QSize(kClientWidth, kClientHeight), twipsPerPixel_);
    QMenuBar* bar = menuBar();
    const int menuHeight = bar->isNativeMenuBar()
                               ? 0
                               : qMax(bar->heightForWidth(client.width()), bar->minimumHeight());
    resize(client.width(), client.height() + menuHeight);
    client_->resize(client);
}

}  // namespace tarnwick
