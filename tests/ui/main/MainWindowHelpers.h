// Helpers shared by the main window tests.
#pragma once

#include <QLocale>
#include <QTest>
#include <QWidget>

#include "FakeDesktop.h"
#include "Twips.h"
#include "frmMain.h"

namespace tarnwick::test {

// Shows `window` and waits until it is the active window.
inline bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Pixels of a twips rectangle, the way the window computes them.
inline QRect px(const frmMain& window, int left, int top, int width, int height) {
    return twipsToPixels(QRect(left, top, width, height), window.twipsPerPixel());
}

inline int px(const frmMain& window, int twips) {
    return twipsToPixels(twips, window.twipsPerPixel());
}

// Sets the default locale for the lifetime of the object.
class ScopedLocale {
  public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(saved_); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

  private:
    QLocale saved_;
};

}  // namespace tarnwick::test
