#pragma once

#include "platform/Url.h"

#include <vector>

namespace drovane {

// What the platform's application object tells the program's delegate. Every call arrives on
// the main thread, from inside the event loop that Workspace::runEventLoop() runs.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // The event loop has started; called once, before any other call.
    virtual void applicationDidFinishLaunching() = 0;
    // The platform hands over URLs of the program's scheme (a link opened, a second instance
    // forwarding its command line).
    virtual void openUrls(const std::vector<Url>& urls) = 0;
    // The user asked for the application again (launched it once more, clicked its launcher)
    // while it runs; `hasVisibleWindows` tells whether any of its windows is on screen.
    virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
};

} // namespace drovane
