#include "MenuShortcutGuard.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace tarnwick {

namespace {

bool usedByMenu(const QList<QAction*>& actions, const QKeySequence& pressed) {
    for (QAction* action : actions) {
        if (!action->isEnabled() || !action->isVisible()) continue;
        if (QMenu* menu = action->menu()) {
            if (usedByMenu(menu->actions(), pressed)) return true;
            continue;
        }
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut.matches(pressed) == QKeySequence::ExactMatch) return true;
        }
    }
    return false;
}

}  // namespace

MenuShortcutGuard::MenuShortcutGuard(QMenuBar* menuBar, QObject* parent)
    : QObject(parent), menuBar_(menuBar) {}

void MenuShortcutGuard::guard(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->installEventFilter(this);
}

bool MenuShortcutGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && menuBar_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (usedByMenu(menuBar_->actions(), QKeySequence(key->keyCombination()))) {
            // Not for the widget: leave the key to the shortcut.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarnwick
