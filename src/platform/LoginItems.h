#pragma once

#include <optional>
#include <string>

namespace drovane {

// Starting the application when the user logs in. Main thread.
class LoginItems {
public:
    virtual ~LoginItems() = default;

    // Registers the installed application; an error text on failure.
    virtual std::optional<std::string> registerApplication() = 0;
    // Unregisters it; an error text on failure (unregistering when not registered succeeds).
    virtual std::optional<std::string> unregisterApplication() = 0;
    // Whether the application is registered now.
    virtual bool isRegistered() const = 0;
};

} // namespace drovane
