#include "desktop/QtVideo.h"

#include "desktop/QtPlayer.h"
#include "desktop/QuickPlayerLayer.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

namespace drovane::desktop {

QtVideo::QtVideo(std::shared_ptr<QApplication> application) : m_application(std::move(application)) {}

QtVideo::~QtVideo() {
    m_videoOutput.reset();
    m_engine.reset();
}

std::shared_ptr<Player> QtVideo::makePlayer(const Url& file, double forwardBufferSeconds) {
    return std::make_shared<QtPlayer>(file, forwardBufferSeconds);
}

std::shared_ptr<PlayerLayer> QtVideo::makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                VideoGravity gravity) {
    auto qtPlayer = std::dynamic_pointer_cast<QtPlayer>(player);
    if (!m_engine) {
        m_engine = std::make_unique<QQmlEngine>();
        m_videoOutput = std::make_unique<QQmlComponent>(m_engine.get());
        m_videoOutput->setData("import QtMultimedia\nVideoOutput {}\n", QUrl());
        if (m_videoOutput->isError()) {
            logLine("Drovane: the video output component is not available: " +
                    m_videoOutput->errorString().trimmed().toStdString());
        }
    }
    auto* item = qobject_cast<QQuickItem*>(m_videoOutput->create());
    if (!item) {
        // Without QtMultimedia's QML module no picture can show; the layer stays a bare item
        // that never becomes ready, as for a film that cannot be decoded.
        item = new QQuickItem();
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    auto layer = std::make_shared<QuickPlayerLayer>(item, std::move(qtPlayer), frame, gravity);
    layer->start();
    return layer;
}

} // namespace drovane::desktop
