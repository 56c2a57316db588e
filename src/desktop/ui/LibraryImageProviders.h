#pragma once

#include "platform/Image.h"

#include <QMutex>
#include <QQuickImageProvider>
#include <map>
#include <memory>
#include <string>

namespace drovane::desktop {

// "image://icons/<symbol>/<rrggbb or aarrggbb>": a shipped icon in one colour.
class IconImageProvider final : public QQuickImageProvider {
public:
    IconImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

// "image://thumbs/<film id>/<generation>/<device pixel ratio>": the picture a tile received,
// cropped to fill the size asked for and rounded as the tile is, held while a tile of that film
// exists. The engine may ask from its loader thread.
class ThumbnailImageProvider final : public QQuickImageProvider {
public:
    ThumbnailImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // Main thread.
    void put(const std::string& id, std::shared_ptr<const drovane::Image> picture);
    void remove(const std::string& id);
    std::size_t count() const;

private:
    mutable QMutex m_mutex;
    std::map<std::string, std::shared_ptr<const drovane::Image>> m_pictures;
};

} // namespace drovane::desktop
