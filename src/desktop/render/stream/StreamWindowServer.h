#pragma once

#include "desktop/render/stream/ScreenStream.h"
#include "platform/WindowServer.h"

#include <functional>
#include <memory>
#include <vector>

namespace drovane {
class Log;
}

namespace drovane::desktop {

class PipeWireConnection;

// Wallpaper windows published as PipeWire video streams, one per screen, for a desktop that
// shows them itself (Plasma's wallpaper plugin): no window of the display server is made. The
// pictures are drawn as the software renderer draws them, by players and layers of
// SoftwareVideo. Main thread.
class StreamWindowServer final : public WindowServer {
public:
    // Nothing, and a line on `log`, when no PipeWire daemon answers.
    static std::shared_ptr<StreamWindowServer> open(std::shared_ptr<Log> log);
    ~StreamWindowServer() override;

    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override;

    // The streams of the windows ordered front whose node is known, in the order the windows
    // were made.
    std::vector<ScreenStream> streams() const;
    // Called with streams() soon after it changed: a node id became known, a window was ordered
    // in or out, or went.
    std::function<void(std::vector<ScreenStream>)> onStreamsChanged;
    // Whether another window hides the screen of `screenFrame`: its window sends nothing and counts
    // as not visible. Kept for windows made later.
    void setCovered(Rect screenFrame, bool covered);

private:
    struct Registry;
    StreamWindowServer(std::shared_ptr<PipeWireConnection> connection);

    std::shared_ptr<PipeWireConnection> m_connection;
    // Shared with the windows, which may outlive this server.
    std::shared_ptr<Registry> m_registry;
};

} // namespace drovane::desktop
