#include "desktop/render/software/SoftwareVideo.h"

#include "desktop/media/QtPlayer.h"
#include "desktop/render/software/SoftwarePlayerLayer.h"

namespace drovane::desktop {

std::shared_ptr<Player> SoftwareVideo::makePlayer(const Url& file, double forwardBufferSeconds) {
    return std::make_shared<QtPlayer>(file, forwardBufferSeconds, m_log);
}

std::shared_ptr<PlayerLayer> SoftwareVideo::makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                      VideoGravity gravity) {
    auto layer =
        std::make_shared<SoftwarePlayerLayer>(std::dynamic_pointer_cast<QtPlayer>(player), frame, gravity);
    layer->start();
    return layer;
}

} // namespace drovane::desktop
