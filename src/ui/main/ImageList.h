// An ordered list of equally sized images, each under a unique key. One colour
// of the stored images is the mask colour: it stands for "transparent" and is
// removed from the pixmaps and icons handed out.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace tarnwick {

class ImageList {
  public:
    ImageList() = default;
    ImageList(QSize imageSize, QColor maskColor);

    QSize imageSize() const { return imageSize_; }
    QColor maskColor() const { return maskColor_; }

    // Appends `image` under `key`. Refused (false) when the key is empty or
    // already used, or when the image is not of imageSize().
    bool add(const QString& key, const QImage& image);

    int count() const { return static_cast<int>(images_.size()); }
    QStringList keys() const;
    bool contains(const QString& key) const;

    // The image as stored, mask colour included; a null image for an unknown key.
    QImage image(const QString& key) const;

    // The image with every pixel of the mask colour made fully transparent.
    QPixmap pixmap(const QString& key) const;
    QIcon icon(const QString& key) const;

  private:
    const QImage* find(const QString& key) const;

    QSize imageSize_{16, 16};
    QColor maskColor_{192, 192, 192};
    std::vector<std::pair<QString, QImage>> images_;
};

}  // namespace tarnwick
