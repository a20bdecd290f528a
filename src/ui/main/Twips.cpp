#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace Twips {

double PerPixelAt(double logicalDpi) {
    return logicalDpi > 0.0 ? kPerInch / logicalDpi : kPerInch / 96.0;
}

double PerPixel(const QScreen* screen) {
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return PerPixelAt(screen != nullptr ? screen->logicalDotsPerInch() : 96.0);
}

int ToPixels(int twips, double perPixel) { return qRound(twips / perPixel); }

QSize ToPixels(QSize twips, double perPixel) {
    return {ToPixels(twips.width(), perPixel), ToPixels(twips.height(), perPixel)};
}

QRect ToPixels(const QRect& twips, double perPixel) {
    const int left = ToPixels(twips.x(), perPixel);
    const int top = ToPixels(twips.y(), perPixel);
    const int right = ToPixels(twips.x() + twips.width(), perPixel);
    const int bottom = ToPixels(twips.y() + twips.height(), perPixel);
    return {left, top, right - left, bottom - top};
}

}  // namespace Twips
