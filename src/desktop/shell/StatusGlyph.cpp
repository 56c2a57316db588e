#include "desktop/shell/StatusGlyph.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

namespace drovane::desktop {

namespace {

class GlyphEngine final : public QIconEngine {
public:
    GlyphEngine(StatusIcon icon, PanelScheme scheme) : m_icon(std::move(icon)), m_scheme(scheme) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        QImage image = drawStatusGlyph(m_icon, qRound(side * ratio), m_scheme);
        image.setDevicePixelRatio(ratio);
        painter->save();
        if (mode == QIcon::Disabled) {
            painter->setOpacity(painter->opacity() * 0.5);
        }
        painter->drawImage(QRectF(rect.x() + (rect.width() - side) / 2.0,
                                  rect.y() + (rect.height() - side) / 2.0, side, side),
                           image);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // QIcon asks for `size` in device pixels already.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QIconEngine* clone() const override { return new GlyphEngine(m_icon, m_scheme); }
    QString key() const override { return QStringLiteral("drovane-glyph"); }

private:
    const StatusIcon m_icon;
    const PanelScheme m_scheme;
};

} // namespace

QImage drawStatusGlyph(const StatusIcon& icon, int pixels, PanelScheme scheme) {
    QImage image(std::max(pixels, 1), std::max(pixels, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (icon.canvas.width <= 0 || icon.canvas.height <= 0) {
        return image;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(image.width() / icon.canvas.width, image.height() / icon.canvas.height);
    if (icon.dimmed) {
        painter.setOpacity(0.5);
    }
    QPainterPath shape;
    for (const auto& e : icon.ellipses) {
        shape.addEllipse(QRectF(e.cx - e.rx, e.cy - e.ry, 2 * e.rx, 2 * e.ry));
    }
    const QColor light(0xf2, 0xf2, 0xf2), dark(0x1e, 0x1e, 0x1e);
    if (!icon.isTemplate) {
        painter.fillPath(shape, Qt::black);
    } else if (scheme == PanelScheme::Light) {
        painter.fillPath(shape, dark);
    } else {
        if (scheme == PanelScheme::Unknown) {
            // About one device pixel wide at any size.
            QPen rim(QColor(0, 0, 0, 150), 2.0 * icon.canvas.width / image.width());
            painter.strokePath(shape, rim);
        }
        painter.fillPath(shape, light);
    }
    return image;
}

QIcon statusGlyphIcon(const StatusIcon& icon, PanelScheme scheme) {
    return QIcon(new GlyphEngine(icon, scheme));
}

} // namespace drovane::desktop
