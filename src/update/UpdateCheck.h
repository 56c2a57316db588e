#pragma once

#include "update/Release.h"

#include <functional>
#include <memory>
#include <optional>

namespace drovane {

class Alerts;
class Clock;
class DefaultsStore;
class Host;
class Http;
class MainQueue;
class Window;
class Workspace;
struct Platform;

// Asks the version feed which release is current and tells the user what it found: by hand
// from the settings window, and at launch once a day. One per process, made by the delegate;
// its only state is whether a check is running. Main thread.
class UpdateCheck : public std::enable_shared_from_this<UpdateCheck> {
    struct Passkey {};

public:
    // What "Update Now" does: installs the release, with the same window for its prompts.
    using Install = std::function<void(const Release&, std::weak_ptr<const Window> over)>;

    static constexpr double feedTimeoutSeconds = 15;
    static constexpr double automaticDelaySeconds = 12;
    // An automatic check runs only when more than this has passed since the last check.
    static constexpr double automaticIntervalSeconds = 86'400;

    static std::shared_ptr<UpdateCheck> create(const Platform& platform, Install install);
    UpdateCheck(Passkey, const Platform& platform, Install install);

    // Starts one check; a second one while one runs is dropped without a word. `over` is the
    // window prompts attach to while it is visible; `manual` for a check the user asked for,
    // whose every outcome is shown (an automatic one shows only a newer release not skipped).
    void run(std::weak_ptr<const Window> over, bool manual);
    // The launch's automatic check, due 12 s from now: runs then when automatic updates are
    // on, the program runs from a bundle with an identifier, and the last check is over a day
    // old.
    void scheduleAutomaticCheck();

    bool busy() const { return m_busy; }

private:
    void present(const std::optional<Release>& release, bool failed, bool manual,
                 const std::weak_ptr<const Window>& over);
    void offer(const Release& release, bool manual, const std::weak_ptr<const Window>& over);
    void couldNot(const std::string& message, const std::weak_ptr<const Window>& over);

    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Clock> m_clock;
    const std::shared_ptr<DefaultsStore> m_defaults;
    const std::shared_ptr<Http> m_http;
    const std::shared_ptr<Alerts> m_alerts;
    const std::shared_ptr<Workspace> m_workspace;
    const std::shared_ptr<Host> m_host;
    const Install m_install;
    bool m_busy = false;
};

} // namespace drovane
