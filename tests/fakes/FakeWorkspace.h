#pragma once

#include "platform/ApplicationDelegate.h"
#include "platform/Workspace.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane::fakes {

// The desktop session: records the appearances asked for and does nothing else.
class FakeWorkspace final : public Workspace {
public:
    bool openUrl(const Url&) override { return true; }
    void revealFiles(const std::vector<std::string>&) override {}
    std::optional<std::string> moveToTrash(const std::string&) override { return std::nullopt; }
    void activate() override {}
    void setActivationPolicy(ActivationPolicy) override {}
    void setAppearance(Appearance a) override { appearances.push_back(a); }
    void terminate() override {}
    // The delegate hears that launching finished; events after that are the test's to send.
    int runEventLoop(std::shared_ptr<ApplicationDelegate> d) override {
        d->applicationDidFinishLaunching();
        return 0;
    }

    std::vector<Appearance> appearances;
};

} // namespace drovane::fakes
