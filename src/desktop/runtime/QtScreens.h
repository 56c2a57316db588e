#pragma once

#include "platform/ObserverList.h"
#include "platform/Screens.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

class QApplication;
class QObject;
class QScreen;
class QTimer;

namespace drovane::desktop {

// The screens as QGuiApplication knows them: Qt lists the primary screen first. One RandR
// change arrives as a burst of added, removed and geometry signals; they are gathered for
// `coalesceSeconds` and reported as one call, and not at all when the frames end up as before.
// A screen whose pixel ratio changes under the same frame is a change too: its windows need
// other pixels.
class QtScreens final : public Screens {
public:
    explicit QtScreens(std::shared_ptr<QApplication> application, double coalesceSeconds = 0.25);
    ~QtScreens() override;

    std::vector<Rect> frames() const override;
    Subscription observeChanges(std::function<void()> handler) override;

private:
    void watch(QScreen* screen);
    void changed();
    void report();
    // Each screen's frame and pixel ratio.
    std::vector<std::pair<Rect, double>> layout() const;

    std::shared_ptr<QApplication> m_application;
    std::unique_ptr<QObject> m_context;
    QTimer* m_timer = nullptr;
    std::vector<std::pair<Rect, double>> m_reported;
    ObserverList<> m_handlers;
};

} // namespace drovane::desktop
