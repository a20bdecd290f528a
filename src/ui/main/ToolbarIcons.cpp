#include "ToolbarIcons.h"

#include <QStringList>

// Registers the toolbar's compiled-in pictures; outside any namespace, and it
// keeps the linker from dropping them out of the static library.
static void initToolbarResources() { Q_INIT_RESOURCE(toolbar); }

namespace tarnwick {

ImageList buildToolbarIcons() {
    // The pictures are XPM files in the program's resources
    // (src/ui/main/toolbar/), named after their key without blanks.
    static const QStringList keys{
        QStringLiteral("New"),    QStringLiteral("Open"),       QStringLiteral("Save"),
        QStringLiteral("Print"),  QStringLiteral("Cut"),        QStringLiteral("Copy"),
        QStringLiteral("Paste"),  QStringLiteral("Bold"),       QStringLiteral("Italic"),
        QStringLiteral("Underline"), QStringLiteral("Align Left"), QStringLiteral("Center"),
        QStringLiteral("Align Right")};
    static const bool registered = (initToolbarResources(), true);
    Q_UNUSED(registered);
    ImageList list(QSize(16, 16), kToolbarMaskColor);
    for (const QString& key : keys) {
        QString file = key;
        file.remove(u' ');
        list.add(key, QImage(QStringLiteral(":/toolbar/%1.xpm").arg(file))
                          .convertToFormat(QImage::Format_RGB32));
    }
    return list;
}

}  // namespace tarnwick
