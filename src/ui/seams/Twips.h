// Twips (1/1440 inch) to pixels and back. Every position and size of the windows is
// written in twips; this is the one place that turns them into pixels.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QLocale;
class QScreen;

namespace tarnwick {

inline constexpr double kTwipsPerInch = 1440.0;

// Twips in one pixel at the given logical dots per inch: 15 at 96.
double twipsPerPixelAt(double logicalDpi);

// Twips in one (device-independent) pixel of `screen`, read from its logical
// DPI; the primary screen when null, 15 when there is no screen at all.
double twipsPerPixel(const QScreen* screen = nullptr);

// A length, rounded to the nearest pixel.
int twipsToPixels(int twips, double perPixel);

// A size, each dimension rounded to the nearest pixel.
QSize twipsToPixels(QSize twips, double perPixel);

// A rectangle given as left, top, width, height in twips. Its four edges are
// rounded separately, so that controls whose edges meet in twips also meet in
// pixels; the width and height are the distances between the rounded edges.
QRect twipsToPixels(const QRect& twips, double perPixel);

// A length in pixels, in twips.
double pixelsToTwips(int pixels, double perPixel);

// A length in twips as the settings store keeps it: decimal text of the
// single-precision number, up to seven significant digits, never an exponent,
// in ASCII digits with "-" before a negative one (whatever digits and minus
// sign `locale` writes, so that any reader of the file can take it as a
// number) and `locale`'s decimal separator before a fraction. Whole twips,
// the usual case, are an integer.
QString twipsText(float twips, const QLocale& locale);

}  // namespace tarnwick
