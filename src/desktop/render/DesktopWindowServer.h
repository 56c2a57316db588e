#pragma once

#include "desktop/render/DesktopWallpaperWindow.h"
#include "platform/ObserverList.h"
#include "platform/WindowServer.h"

#include <memory>

class QApplication;

namespace drovane::desktop {

// Wallpaper windows of one kind and their occlusion as WindowOcclusion reports it.
class DesktopWindowServer : public WindowServer {
public:
    ~DesktopWindowServer() override;

    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) final;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) final;
    std::string hidingProgram() const final;

protected:
    // Without `occlusion`, windows count as visible whenever they are exposed.
    DesktopWindowServer(std::shared_ptr<QApplication> application,
                        std::shared_ptr<WindowOcclusion> occlusion);

    virtual std::shared_ptr<DesktopWallpaperWindow>
    makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
               const std::shared_ptr<WindowOcclusion>& occlusion) = 0;

private:
    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    // Shared with the windows, which may outlive this server.
    std::shared_ptr<ObserverList<const Window*>> m_handlers;
};

// A window server whose windows are `W`s, each made as W(application, frame, occlusion).
template <class W> class WallpaperWindowServer final : public DesktopWindowServer {
public:
    explicit WallpaperWindowServer(std::shared_ptr<QApplication> application,
                                   std::shared_ptr<WindowOcclusion> occlusion = nullptr)
        : DesktopWindowServer(std::move(application), std::move(occlusion)) {}

protected:
    std::shared_ptr<DesktopWallpaperWindow>
    makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
               const std::shared_ptr<WindowOcclusion>& occlusion) override {
        return std::make_shared<W>(application, frame, occlusion);
    }
};

} // namespace drovane::desktop
