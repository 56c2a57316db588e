#pragma once

#include "platform/LoginItems.h"

namespace drovane::fakes {

class FakeLoginItems final : public LoginItems {
public:
    std::optional<std::string> registerApplication() override { return change(true); }
    std::optional<std::string> unregisterApplication() override { return change(false); }
    bool isRegistered() const override { return registered; }

    bool registered = false;
    int calls = 0;
    // Returned by the next register or unregister call instead of succeeding.
    std::optional<std::string> nextError;

private:
    std::optional<std::string> change(bool on) {
        ++calls;
        if (!nextError)
            registered = on;
        return nextError;
    }
};

} // namespace drovane::fakes
