#pragma once

#include "platform/Screens.h"

#include <map>

namespace drovane::fakes {

class FakeScreens final : public Screens {
public:
    std::vector<Rect> frames() const override { return m_frames; }
    Subscription observeChanges(std::function<void()> handler) override {
        const int id = m_nextId++;
        m_handlers[id] = std::move(handler);
        return Subscription([this, id] { m_handlers.erase(id); });
    }
    // Replaces the screens and tells every observer, as a plugged or unplugged display does.
    void setFrames(std::vector<Rect> frames) {
        m_frames = std::move(frames);
        auto handlers = m_handlers;
        for (auto& [id, handler] : handlers) {
            handler();
        }
    }

private:
    std::vector<Rect> m_frames{Rect{{0, 0}, {1920, 1080}}};
    std::map<int, std::function<void()>> m_handlers;
    int m_nextId = 0;
};

} // namespace drovane::fakes
