#pragma once

#include "platform/WindowServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace drovane::desktop {

class PipeWireConnection;
class SentPicture;
class SoftwareCompositor;
class SoftwareContentLayer;

// A wallpaper window that is no window at all: its pictures, drawn on the CPU, go out as a
// PipeWire video stream that the desktop shows as its wallpaper. It counts as visible while it
// is ordered front, a consumer takes its pictures and nothing covers its screen; otherwise it
// sends nothing. Main thread.
class StreamWallpaperWindow final : public WallpaperWindow {
public:
    // `pixelWidth` x `pixelHeight`: the size of the pictures for `frame`.
    StreamWallpaperWindow(std::shared_ptr<PipeWireConnection> connection, Rect frame, int pixelWidth,
                          int pixelHeight);
    ~StreamWallpaperWindow() override;

    Rect frame() const override { return m_frame; }
    bool isVisible() const override { return m_ordered; }
    bool isOccludedVisible() const override { return m_ordered && m_streaming && !m_covered; }
    // The picture last sent.
    bool snapshot(const std::string& path) override;
    void orderFront() override;
    void orderOut() override;
    // Keeps the pixel density of the pictures.
    void setFrame(Rect frame) override;
    std::shared_ptr<Layer> contentLayer() override;

    // The stream's node, once the daemon gave it one.
    std::optional<std::uint32_t> nodeId() const { return m_nodeId; }
    // Another window hides the screen (told from outside; not covered at first).
    void setCovered(bool covered);
    // Pictures sent so far.
    long presentedFrames() const;

    // Whether the window can be seen may have changed.
    std::function<void()> onOcclusionChanged;
    // The node id became known or was lost, or the window was ordered in or out.
    std::function<void()> onStreamChanged;

private:
    struct Link;
    void streamingChanged(bool streaming);
    void nodeIdKnown(std::optional<std::uint32_t> id);
    // Draws while someone can see the pictures.
    void followVisibility(bool wasVisible);

    Rect m_frame;
    double m_pixelScaleX, m_pixelScaleY;
    bool m_ordered = false;
    bool m_streaming = false;
    bool m_covered = false;
    std::optional<std::uint32_t> m_nodeId;
    std::shared_ptr<Link> m_link;
    std::shared_ptr<SentPicture> m_sent;
    std::shared_ptr<SoftwareCompositor> m_compositor;
    std::shared_ptr<SoftwareContentLayer> m_content;
};

} // namespace drovane::desktop
