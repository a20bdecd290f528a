#include "ImageList.h"

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
    QImage masked = found->convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = maskColor_.rgb();
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x) {
            if ((line[x] | 0xff000000u) == mask) line[x] = 0;
        }
    }
    return QPixmap::fromImage(masked);
}

QIcon ImageList::icon(const QString& key) const {
    const QPixmap pm = pixmap(key);
    return pm.isNull() ? QIcon() : QIcon(pm);
}

}  // namespace tarnwick
