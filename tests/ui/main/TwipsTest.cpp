#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>

#include "../../TestPrinters.h"
#include "Twips.h"

namespace tarnwick::test {

TEST(TwipsTest, TwipsPerPixelFollowsLogicalDpi) {
    EXPECT_DOUBLE_EQ(twipsPerPixelAt(96.0), 15.0);
    EXPECT_DOUBLE_EQ(twipsPerPixelAt(120.0), 12.0);
    EXPECT_DOUBLE_EQ(twipsPerPixelAt(144.0), 10.0);
    // A screen that reports no DPI is taken as 96 dpi.
    EXPECT_DOUBLE_EQ(twipsPerPixelAt(0.0), 15.0);
}

TEST(TwipsTest, ScreenValueComesFromItsLogicalDpi) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_DOUBLE_EQ(twipsPerPixel(screen), 1440.0 / screen->logicalDotsPerInch());
    EXPECT_DOUBLE_EQ(twipsPerPixel(), twipsPerPixel(screen));
}

TEST(TwipsTest, LengthsRoundToNearestPixel) {
    EXPECT_EQ(twipsToPixels(15, 15.0), 1);
    EXPECT_EQ(twipsToPixels(7, 15.0), 0);
    EXPECT_EQ(twipsToPixels(8, 15.0), 1);
    EXPECT_EQ(twipsToPixels(15120, 15.0), 1008);
    EXPECT_EQ(twipsToPixels(8175, 15.0), 545);
    EXPECT_EQ(twipsToPixels(8175, 12.0), 681);
    EXPECT_EQ(twipsToPixels(QSize(15120, 8175), 15.0), QSize(1008, 545));
}

TEST(TwipsTest, RectanglesRoundTheirEdges) {
    // 1920..13570 x 360..640 twips: edges at 128, 904.67, 24 and 42.67 pixels.
    EXPECT_EQ(twipsToPixels(QRect(1920, 360, 11650, 280), 15.0), QRect(128, 24, 777, 19));
    // Rectangles that touch in twips touch in pixels, whatever their widths round to.
    const QRect a = twipsToPixels(QRect(0, 0, 22, 15), 15.0);
    const QRect b = twipsToPixels(QRect(22, 0, 22, 15), 15.0);
    EXPECT_EQ(a.x() + a.width(), b.x());
    EXPECT_EQ(b.width(), 2);
}

TEST(TwipsTest, TextIsAsciiWithTheLocalesDecimalSeparator) {
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale sv(QLocale::Swedish, QLocale::Sweden);
    const QLocale ar(QLocale::Arabic, QLocale::Egypt);
    // 13090.909...: a thousand pixels at 110 dpi.
    const float fraction = static_cast<float>(pixelsToTwips(1000, twipsPerPixelAt(110.0)));
    const struct {
        float twips;
        const QLocale& locale;
        QString text;
    } cases[] = {
        {1200, en, "1200"},
        {-2250, sv, "-2250"},  // not sv_SE's U+2212 minus sign
        {-2250, ar, "-2250"},  // not Arabic-Indic digits
        {16200, ar, "16200"},
        {150000, de, "150000"},  // never grouped
        {0, sv, "0"},
        {fraction, en, "13090.91"},
        {fraction, de, "13090,91"},
        {-fraction / 10, de, "-1309,091"},
        {12.5, sv, "12,5"},
        {15000000, en, "15000000"},  // never an exponent
        {fraction, ar, QStringLiteral("13090") + ar.decimalPoint() + "91"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString() + " " + std::to_string(c.twips));
        EXPECT_EQ(twipsText(c.twips, c.locale), c.text);
    }
}

}  // namespace tarnwick::test
