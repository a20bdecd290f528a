#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

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

}  // namespace tarnwick::test
