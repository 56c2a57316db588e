#include "desktop/ui/SymbolIcons.h"

#include <QHash>
#include <QImageReader>
#include <QPainter>

namespace drovane::desktop::SymbolIcons {

QString resourcePath(const QString& symbol) {
    static const QHash<QString, QString> files = {
        {QStringLiteral("circle.grid.2x2.fill"), QStringLiteral("grid")},
        {QStringLiteral("heart.circle.fill"), QStringLiteral("heart-circle")},
        {QStringLiteral("arrow.down.circle.fill"), QStringLiteral("arrow-down-circle")},
        {QStringLiteral("mountain.2.circle.fill"), QStringLiteral("mountain-circle")},
        {QStringLiteral("building.2.crop.circle.fill"), QStringLiteral("building-circle")},
        {QStringLiteral("globe.americas.fill"), QStringLiteral("globe")},
        {QStringLiteral("drop.circle.fill"), QStringLiteral("drop-circle")},
        {QStringLiteral("command.circle.fill"), QStringLiteral("command-circle")},
        {QStringLiteral("photo.circle.fill"), QStringLiteral("photo-circle")},
        {QStringLiteral("photo.on.rectangle.angled"), QStringLiteral("photos")},
        {QStringLiteral("photo"), QStringLiteral("photo")},
        {QStringLiteral("ellipsis.circle.fill"), QStringLiteral("ellipsis-circle")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("xmark-circle")},
        {QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("exclamationmark-circle")},
        {QStringLiteral("heart"), QStringLiteral("heart")},
        {QStringLiteral("heart.fill"), QStringLiteral("heart-fill")},
    };
    return QStringLiteral(":/drovane/qml/icons/%1.svg")
        .arg(files.value(symbol, QStringLiteral("photo-circle")));
}

QImage render(const QString& symbol, QSize size, const QColor& color) {
    QImageReader reader(resourcePath(symbol));
    reader.setScaledSize(size.isValid() && !size.isEmpty() ? size : QSize(32, 32));
    QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;
    }
    // The shapes are drawn in black; their coverage is kept and the colour replaced.
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

} // namespace drovane::desktop::SymbolIcons
