#pragma once

#include "fakes/FakeVideo.h"
#include "fakes/LiveObjects.h"
#include "platform/ObserverList.h"
#include "platform/WindowServer.h"

#include <map>
#include <memory>
#include <vector>

namespace drovane::fakes {

class FakeWallpaperWindow final : public WallpaperWindow {
public:
    explicit FakeWallpaperWindow(Rect frame) : m_frame(frame) {}

    Rect frame() const override { return m_frame; }
    bool isVisible() const override { return m_ordered; }
    bool isOccludedVisible() const override { return m_ordered && !covered; }
    bool snapshot(const std::string&) override { return true; }
    void orderFront() override { m_ordered = true; }
    void orderOut() override { m_ordered = false; }
    void setFrame(Rect frame) override { m_frame = frame; }
    std::shared_ptr<Layer> contentLayer() override { return m_content; }

    const std::shared_ptr<FakeLayer>& content() const { return m_content; }
    // The player layers in the content layer, bottom first.
    std::vector<std::shared_ptr<FakePlayerLayer>> playerLayers() const {
        std::vector<std::shared_ptr<FakePlayerLayer>> result;
        for (const auto& layer : m_content->sublayers) {
            if (auto pl = std::dynamic_pointer_cast<FakePlayerLayer>(layer)) {
                result.push_back(pl);
            }
        }
        return result;
    }

    // Another window covers this one wholly.
    bool covered = false;

private:
    Rect m_frame;
    bool m_ordered = false;
    std::shared_ptr<FakeLayer> m_content = std::make_shared<FakeLayer>();
};

class FakeWindowServer final : public WindowServer {
public:
    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override {
        if (!makesWindows) {
            return nullptr;
        }
        auto window = std::make_shared<FakeWallpaperWindow>(frame);
        m_made.push_back(window);
        return window;
    }
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override {
        return m_handlers.add(std::move(handler));
    }
    std::string hidingProgram() const override { return hiding; }

    // Covers or uncovers `window` and tells the occlusion observers, with it as the sender.
    void setCovered(FakeWallpaperWindow& window, bool covered) {
        window.covered = covered;
        notifyOcclusion(&window);
    }
    // An occlusion notification from a window that is not a wallpaper window (or none).
    void notifyOcclusion(const Window* sender) { m_handlers.notify(sender); }

    std::size_t occlusionObserverCount() const { return m_handlers.size(); }
    // False: a session with no way to show a wallpaper, where no window is made.
    bool makesWindows = true;
    // The program whose own desktop hides the wallpaper windows.
    std::string hiding;
    // The wallpaper windows made so far that are still alive, oldest first.
    std::vector<std::shared_ptr<FakeWallpaperWindow>> liveWindows() { return liveObjects(m_made); }

private:
    ObserverList<const Window*> m_handlers;
    std::vector<std::weak_ptr<FakeWallpaperWindow>> m_made;
};

} // namespace drovane::fakes
