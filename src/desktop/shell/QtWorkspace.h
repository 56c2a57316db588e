#pragma once

#include "platform/Workspace.h"

#include <memory>

class QApplication;
class QObject;

namespace drovane::desktop {

// The desktop session on Qt: the event loop, URLs through QDesktopServices, reveal through the
// file manager's D-Bus interface, the freedesktop Trash, and the program's own windows' look
// and taskbar presence. An accessory application keeps its windows out of the taskbar.
class QtWorkspace final : public Workspace {
public:
    explicit QtWorkspace(std::shared_ptr<QApplication> application);
    ~QtWorkspace() override;

    bool openUrl(const Url& url) override;
    void revealFiles(const std::vector<std::string>& paths) override;
    std::optional<std::string> moveToTrash(const std::string& path) override;
    void activate() override;
    void setActivationPolicy(ActivationPolicy policy) override;
    void setAppearance(Appearance appearance) override;
    void terminate() override;
    int runEventLoop(std::shared_ptr<ApplicationDelegate> delegate) override;

    ActivationPolicy activationPolicy() const { return m_policy; }

private:
    class WindowWatcher;

    std::shared_ptr<QApplication> m_application;
    std::unique_ptr<WindowWatcher> m_watcher;
    ActivationPolicy m_policy = ActivationPolicy::Regular;
    bool m_terminating = false;
};

} // namespace drovane::desktop
