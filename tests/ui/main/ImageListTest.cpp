#include <gtest/gtest.h>

#include <QSet>

#include "../../TestPrinters.h"
#include "ImageList.h"
#include "ToolbarIcons.h"

namespace tarnwick::test {

namespace {

const QStringList kKeys = {"New",        "Open",   "Save",       "Print",  "Cut",
                           "Copy",       "Paste",  "Bold",       "Italic", "Underline",
                           "Align Left", "Center", "Align Right"};

// The standard 16-colour palette.
const QSet<QRgb> kPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

const QRgb kMask = qRgb(192, 192, 192);

}  // namespace

TEST(ToolbarIconsTest, ThirteenKeyedPicturesInOrder) {
    const ImageList list = buildToolbarIcons();
    EXPECT_EQ(list.count(), 13);
    EXPECT_EQ(list.keys(), kKeys);
    EXPECT_EQ(list.imageSize(), QSize(16, 16));
    EXPECT_EQ(list.maskColor(), QColor(192, 192, 192));
}

TEST(ToolbarIconsTest, PicturesAre16By16In16ColoursOnTheMaskColour) {
    const ImageList list = buildToolbarIcons();
    for (const QString& key : kKeys) {
        SCOPED_TRACE(key.toStdString());
        const QImage image = list.image(key);
        ASSERT_EQ(image.size(), QSize(16, 16));
        EXPECT_EQ(image.pixel(0, 0) | 0xff000000u, kMask);
        int drawn = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb colour = image.pixel(x, y) | 0xff000000u;
                EXPECT_TRUE(kPalette.contains(colour)) << x << "," << y;
                if (colour != kMask) ++drawn;
            }
        }
        // A picture, not a blank or a filled square.
        EXPECT_GT(drawn, 16);
        EXPECT_LT(drawn, 16 * 16);
    }
}

TEST(ToolbarIconsTest, PicturesDifferFromEachOther) {
    const ImageList list = buildToolbarIcons();
    for (qsizetype i = 0; i < kKeys.size(); ++i) {
        for (qsizetype j = i + 1; j < kKeys.size(); ++j) {
            EXPECT_NE(list.image(kKeys[i]), list.image(kKeys[j]))
                << kKeys[i].toStdString() << " / " << kKeys[j].toStdString();
        }
    }
}

TEST(ToolbarIconsTest, MaskColourBecomesTransparent) {
    const ImageList list = buildToolbarIcons();
    for (const QString& key : kKeys) {
        SCOPED_TRACE(key.toStdString());
        const QImage stored = list.image(key);
        const QImage shown = list.pixmap(key).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(shown.size(), stored.size());
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb colour = stored.pixel(x, y) | 0xff000000u;
                if (colour == kMask) {
                    EXPECT_EQ(qAlpha(shown.pixel(x, y)), 0) << x << "," << y;
                } else {
                    EXPECT_EQ(shown.pixel(x, y), colour) << x << "," << y;
                }
            }
        }
    }
}

TEST(ImageListTest, RefusesDuplicateKeysAndWrongSizes) {
    ImageList list(QSize(16, 16), QColor(192, 192, 192));
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    EXPECT_TRUE(list.add("One", image));
    EXPECT_FALSE(list.add("One", image));
    EXPECT_FALSE(list.add("", image));
    EXPECT_FALSE(list.add("Big", QImage(32, 32, QImage::Format_RGB32)));
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.keys(), QStringList{"One"});
}

TEST(ImageListTest, UnknownKeyGivesNothing) {
    const ImageList list = buildToolbarIcons();
    EXPECT_TRUE(list.image("new").isNull());  // keys are case-sensitive
    EXPECT_TRUE(list.pixmap("Nothing").isNull());
    EXPECT_TRUE(list.icon("Nothing").isNull());
    EXPECT_FALSE(list.contains("center"));
}

}  // namespace tarnwick::test
