#include "desktop/ui/LibraryImageProviders.h"

#include "desktop/ui/SymbolIcons.h"

#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>

namespace drovane::desktop {

QImage IconImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString symbol = id.left(slash);
    const QString hex = id.mid(slash + 1);
    // QML's colour names: "rrggbb" or "aarrggbb".
    QColor color(QLatin1Char('#') + hex);
    if (!color.isValid()) {
        color = Qt::gray;
    }
    QImage image =
        SymbolIcons::render(symbol, requestedSize.isEmpty() ? QSize(32, 32) : requestedSize, color);
    if (size) {
        *size = image.size();
    }
    return image;
}

QImage ThumbnailImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    std::shared_ptr<const drovane::Image> picture;
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_pictures.find(id.section(QLatin1Char('/'), 0, 0).toStdString());
        if (it != m_pictures.end()) {
            picture = it->second;
        }
    }
    QImage image;
    if (picture && !picture->isEmpty()) {
        const QImage whole(picture->rgba.data(), picture->width, picture->height, picture->width * 4,
                           QImage::Format_RGBA8888);
        const QSize box = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : whole.size();
        // Filled and cropped to the box, with the tile's rounded corners.
        const QImage scaled = whole.scaled(box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        image = QImage(box, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        bool ok = false;
        const double scale = id.section(QLatin1Char('/'), 2, 2).toDouble(&ok);
        const double radius = 8.0 * (ok && scale > 0 ? scale : 1.0);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(box)), radius, radius);
        painter.setClipPath(shape);
        painter.drawImage(QPoint((box.width() - scaled.width()) / 2, (box.height() - scaled.height()) / 2),
                          scaled);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

void ThumbnailImageProvider::put(const std::string& id, std::shared_ptr<const drovane::Image> picture) {
    QMutexLocker lock(&m_mutex);
    m_pictures[id] = std::move(picture);
}

void ThumbnailImageProvider::remove(const std::string& id) {
    QMutexLocker lock(&m_mutex);
    m_pictures.erase(id);
}

std::size_t ThumbnailImageProvider::count() const {
    QMutexLocker lock(&m_mutex);
    return m_pictures.size();
}

} // namespace drovane::desktop
