#pragma once

#include "update/Release.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

class AlertHandle;
class Window;
struct Platform;

// Installs a release in place of the running bundle: downloads its archive with progress,
// unpacks it into a fresh staging folder, checks that the bundle is the maker's and newer,
// then hands the swap to a script that runs once this process has gone, and quits. Every
// failure leaves the running program and its bundle as they were and offers the download
// page. Main thread.
class UpdateInstall : public std::enable_shared_from_this<UpdateInstall> {
    struct Passkey {};

public:
    static std::shared_ptr<UpdateInstall> create(const Platform& platform);
    UpdateInstall(Passkey, const Platform& platform);

    // `over` is the window the prompt was attached to; with none, the progress shows on the
    // first visible one of `windows`, and failures are shown on their own.
    void install(const Release& release, std::weak_ptr<const Window> over);

    // The application's windows that can become the key window, in the platform's window-list
    // order. Set by the delegate.
    std::function<std::vector<std::shared_ptr<const Window>>()> windows;

    // What a staging folder is named after, in the temporary folder.
    static constexpr const char* stagingPrefix = "drovane-update-";

private:
    // A staged bundle's path, or why there is none.
    struct Staged {
        std::optional<std::string> bundle;
        std::string failure;
    };
    // On the network thread, while the temporary file exists.
    Staged stage(const std::string& temporaryFile) const;
    // Why the staged bundle is not to be installed, or nothing.
    std::optional<std::string> refusal(const std::string& stagedBundle) const;
    void swap(const std::string& stagedBundle, const std::string& installedBundle);
    void report(const std::string& message, const std::weak_ptr<const Window>& over);

    const std::shared_ptr<const Platform> m_platform;
    std::shared_ptr<AlertHandle> m_progress;
};

} // namespace drovane
