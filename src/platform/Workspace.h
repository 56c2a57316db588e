#pragma once

#include "platform/Url.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

class ApplicationDelegate;

enum class ActivationPolicy { Regular = 0, Accessory = 1 };
enum class Appearance { Light, Dark };

// The desktop session around the program. Main thread only.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens `url` in its default application (a web page in the browser); false on failure.
    virtual bool openUrl(const Url& url) = 0;
    // Shows the files selected in the file browser.
    virtual void revealFiles(const std::vector<std::string>& paths) = 0;
    // Moves a file to the user's Trash; an error text on failure, nothing on success.
    virtual std::optional<std::string> moveToTrash(const std::string& path) = 0;
    // Brings the application to the front, ignoring other applications.
    virtual void activate() = 0;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual void setAppearance(Appearance appearance) = 0;
    // Ends the process in an orderly way.
    virtual void terminate() = 0;
    // Runs the event loop until terminate(), delivering the application's events to
    // `delegate` (applicationDidFinishLaunching first). Main thread; called once.
    virtual int runEventLoop(std::shared_ptr<ApplicationDelegate> delegate) = 0;
};

} // namespace drovane
