#include "Twips.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace tarnwick {

double twipsPerPixelAt(double logicalDpi) {
    return logicalDpi > 0.0 ? kTwipsPerInch / logicalDpi : kTwipsPerInch / 96.0;
}

double twipsPerPixel(const QScreen* screen) {
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return twipsPerPixelAt(screen != nullptr ? screen->logicalDotsPerInch() : 96.0);
}

int twipsToPixels(int twips, double perPixel) { return qRound(twips / perPixel); }

QSize twipsToPixels(QSize twips, double perPixel) {
    return {twipsToPixels(twips.width(), perPixel), twipsToPixels(twips.height(), perPixel)};
}

QRect twipsToPixels(const QRect& twips, double perPixel) {
    const int left = twipsToPixels(twips.x(), perPixel);
    const int top = twipsToPixels(twips.y(), perPixel);
    const int right = twipsToPixels(twips.x() + twips.width(), perPixel);
    const int bottom = twipsToPixels(twips.y() + twips.height(), perPixel);
    return {left, top, right - left, bottom - top};
}

double pixelsToTwips(int pixels, double perPixel) { return pixels * perPixel; }

QString twipsText(float twips, const QLocale& locale) {
    const double value = twips;
    // As many decimals as seven significant digits leave after the whole part.
    const int wholeDigits =
        value == 0.0 ? 1
                     : std::max(1, static_cast<int>(std::floor(std::log10(std::abs(value)))) + 1);
    QString text = QString::number(value, 'f', std::max(0, 7 - wholeDigits));
    const qsizetype point = text.indexOf(u'.');
    if (point < 0) return text;
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) return text.chopped(1);
    return text.replace(point, 1, locale.decimalPoint());
}

}  // namespace tarnwick
