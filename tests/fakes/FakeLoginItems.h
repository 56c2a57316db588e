#pragma once

#include "platform/LoginItems.h"

namespace drovane::fakes {

class FakeLoginItems final : public LoginItems {
public:
    std::optional<std::string> registerApplication() override {
        ++calls;
        if (nextError)
            return nextError;
        registered = true;
        return std::nullopt;
    }
    std::optional<std::string> unregisterApplication() override {
        ++calls;
        if (nextError)
            return nextError;
        registered = false;
        return std::nullopt;
    }
    bool isRegistered() const override { return registered; }

    bool registered = false;
    int calls = 0;
    // Returned by the next register or unregister call instead of succeeding.
    std::optional<std::string> nextError;
};

} // namespace drovane::fakes
