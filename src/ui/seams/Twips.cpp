#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

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

}  // namespace tarnwick
