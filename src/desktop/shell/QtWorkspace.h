#pragma once

#include "platform/Workspace.h"

#include <memory>

class QApplication;
class QObject;

namespace drovane {
class Log;
}

namespace drovane::desktop {

class ApplicationService;

// The desktop session on Qt: the event loop, URLs through QDesktopServices, reveal through the
// file manager's D-Bus interface, the freedesktop Trash, and the program's own windows' look
// and taskbar presence. An accessory application keeps its windows out of the taskbar. Once
// launching has finished, the program answers later launches on the session bus under
// `applicationId`.
class QtWorkspace final : public Workspace {
public:
    // Why later launches cannot reach this copy goes to `log`.
    QtWorkspace(std::shared_ptr<QApplication> application, std::string applicationId,
                std::shared_ptr<Log> log = nullptr);
    ~QtWorkspace() override;

    bool openUrl(const Url& url) override;
    void revealFiles(const std::vector<std::string>& paths) override;
    std::optional<std::string> moveToTrash(const std::string& path) override;
    void activate() override;
    void setActivationPolicy(ActivationPolicy policy) override;
    void setAppearance(Appearance appearance) override;
    void terminate() override;
    int runEventLoop(std::shared_ptr<ApplicationDelegate> delegate) override;

    // Whether any of the program's own windows is on screen and not minimised.
    static bool hasVisibleWindows();

private:
    class WindowWatcher;

    std::shared_ptr<QApplication> m_application;
    const std::string m_applicationId;
    const std::shared_ptr<Log> m_log;
    std::unique_ptr<WindowWatcher> m_watcher;
    std::unique_ptr<ApplicationService> m_service;
    ActivationPolicy m_policy = ActivationPolicy::Regular;
    bool m_terminating = false;
};

} // namespace drovane::desktop
