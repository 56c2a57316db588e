#pragma once

#include "platform/Video.h"

namespace drovane::desktop {

// Players on QtMultimedia whose frames are drawn by the CPU into the windows of
// SoftwareWindowServer; used together with it.
class SoftwareVideo final : public Video {
public:
    std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) override;
    std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                           VideoGravity gravity) override;
};

} // namespace drovane::desktop
