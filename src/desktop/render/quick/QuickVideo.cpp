#include "desktop/render/quick/QuickVideo.h"

#include "desktop/media/QtPlayer.h"
#include "desktop/render/quick/QuickPlayerLayer.h"
#include "platform/Log.h"

#include <QApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

namespace drovane::desktop {

QuickVideo::QuickVideo(std::shared_ptr<QApplication> application, std::shared_ptr<Log> log)
    : m_application(std::move(application)), m_log(std::move(log)) {}

QuickVideo::~QuickVideo() {
    m_videoOutput.reset();
    m_engine.reset();
}

std::shared_ptr<Player> QuickVideo::makePlayer(const Url& file, double forwardBufferSeconds) {
    return std::make_shared<QtPlayer>(file, forwardBufferSeconds, m_log);
}

std::shared_ptr<PlayerLayer> QuickVideo::makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                   VideoGravity gravity) {
    auto qtPlayer = std::dynamic_pointer_cast<QtPlayer>(player);
    if (!m_engine) {
        m_engine = std::make_unique<QQmlEngine>();
        m_videoOutput = std::make_unique<QQmlComponent>(m_engine.get());
        m_videoOutput->setData("import QtMultimedia\nVideoOutput {}\n", QUrl());
        if (m_videoOutput->isError()) {
            m_log->line("Drovane: the video output component is not available: " +
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
