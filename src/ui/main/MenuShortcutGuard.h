// Lets the menu bar's keyboard shortcuts win over the text widgets of a window.
// A line edit, for instance, claims Ctrl+C, Ctrl+X and Ctrl+V for itself, so
// the Edit menu's items would never run while one has the focus. Installed as
// an event filter on those widgets, the guard declines such claims for every
// key sequence that an enabled, visible item of the menu bar uses.
#pragma once

#include <QObject>
#include <QPointer>

class QMenuBar;

namespace tarnwick {

class MenuShortcutGuard : public QObject {
    Q_OBJECT
  public:
    MenuShortcutGuard(QMenuBar* menuBar, QObject* parent);

    // Guards `widget` and all widgets below it.
    void guard(QWidget* widget);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QMenuBar> menuBar_;
};

}  // namespace tarnwick
