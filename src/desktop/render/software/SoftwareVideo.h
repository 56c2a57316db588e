#pragma once

#include "platform/Video.h"

#include <memory>

namespace drovane {
class Log;
}

namespace drovane::desktop {

// Players on QtMultimedia whose frames are drawn by the CPU into the windows of
// SoftwareWindowServer; used together with it.
class SoftwareVideo final : public Video {
public:
    // Films that cannot be played are logged on `log`.
    explicit SoftwareVideo(std::shared_ptr<Log> log) : m_log(std::move(log)) {}

    std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) override;
    std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                           VideoGravity gravity) override;

private:
    const std::shared_ptr<Log> m_log;
};

} // namespace drovane::desktop
