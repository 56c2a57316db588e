#pragma once

#include "platform/Video.h"

#include <memory>

class QApplication;
class QQmlComponent;
class QQmlEngine;

namespace drovane {
class Log;
}

namespace drovane::desktop {

// Players on QtMultimedia and layers as VideoOutput items, drawn by the Qt Quick scene graph
// of the wallpaper windows. The engine sees only Player and PlayerLayer, so another renderer
// (decoding to memory and blitting through shared memory) can replace this one whole, together
// with its window server.
class QuickVideo final : public Video {
public:
    QuickVideo(std::shared_ptr<QApplication> application, std::shared_ptr<Log> log);
    ~QuickVideo() override;

    std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) override;
    std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                           VideoGravity gravity) override;

private:
    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<Log> m_log;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQmlComponent> m_videoOutput;
};

} // namespace drovane::desktop
