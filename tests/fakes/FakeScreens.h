#pragma once

#include "platform/ObserverList.h"
#include "platform/Screens.h"

namespace drovane::fakes {

class FakeScreens final : public Screens {
public:
    std::vector<Rect> frames() const override { return m_frames; }
    Subscription observeChanges(std::function<void()> handler) override {
        return m_handlers.add(std::move(handler));
    }
    // Replaces the screens and tells every observer, as a plugged or unplugged display does.
    void setFrames(std::vector<Rect> frames) {
        m_frames = std::move(frames);
        m_handlers.notify();
    }
    std::size_t observerCount() const { return m_handlers.size(); }

private:
    std::vector<Rect> m_frames{Rect{{0, 0}, {1920, 1080}}};
    ObserverList<> m_handlers;
};

} // namespace drovane::fakes
