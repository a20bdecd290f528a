#include "ImageList.h"

#include <QBitmap>

namespace tarnwick {

ImageList::ImageList(QSize imageSize, QColor maskColor)
    : imageSize_(imageSize), maskColor_(maskColor) {}

bool ImageList::add(const QString& key, const QImage& image) {
    if (key.isEmpty() || contains(key) || image.size() != imageSize_) return false;
    images_.emplace_back(key, image);
    return true;
}

QStringList ImageList::keys() const {
    QStringList result;
    result.reserve(count());
    for (const auto& entry : images_) result.append(entry.first);
    return result;
}

bool ImageList::contains(const QString& key) const { return find(key) != nullptr; }

const QImage* ImageList::find(const QString& key) const {
    for (const auto& entry : images_) {
        if (entry.first == key) return &entry.second;
    }
    return nullptr;
}

QImage ImageList::image(const QString& key) const {
    const QImage* found = find(key);
    return found != nullptr ? *found : QImage();
}

QPixmap ImageList::pixmap(const QString& key) const {
    const QImage* found = find(key);
    if (found == nullptr) return {};
    // Every pixel of the mask colour becomes fully transparent.
    QPixmap pixmap = QPixmap::fromImage(*found);
    pixmap.setMask(
        QBitmap::fromImage(found->createMaskFromColor(maskColor_.rgb(), Qt::MaskInColor)));
    return pixmap;
}

QIcon ImageList::icon(const QString& key) const {
    const QPixmap pm = pixmap(key);
    return pm.isNull() ? QIcon() : QIcon(pm);
}

}  // namespace tarnwick
