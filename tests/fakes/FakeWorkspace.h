#pragma once

#include "platform/ApplicationDelegate.h"
#include "platform/Workspace.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace drovane::fakes {

// Records what the program asks of the desktop session.
class FakeWorkspace final : public Workspace {
public:
    bool openUrl(const Url& url) override {
        openedUrls.push_back(url);
        return true;
    }
    void revealFiles(const std::vector<std::string>& paths) override { revealed.push_back(paths); }
    std::optional<std::string> moveToTrash(const std::string& path) override {
        trashed.push_back(path);
        if (auto it = trashErrors.find(path); it != trashErrors.end()) {
            return it->second;
        }
        if (trashRemovesFiles) {
            std::error_code ec;
            if (!std::filesystem::remove(path, ec)) {
                return ec ? ec.message() : "no such file";
            }
        }
        return std::nullopt;
    }
    void activate() override {}
    void setActivationPolicy(ActivationPolicy) override {}
    void setAppearance(Appearance) override {}
    void terminate() override { ++terminations; }
    // Starts the "event loop": the delegate hears that launching finished; events after that
    // are the test's to send.
    int runEventLoop(std::shared_ptr<ApplicationDelegate> d) override {
        d->applicationDidFinishLaunching();
        return 0;
    }

    std::vector<Url> openedUrls;
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> trashed;
    std::map<std::string, std::string> trashErrors;
    // Whether a file moved to the Trash leaves its folder (otherwise only the request is kept).
    bool trashRemovesFiles = false;
    int terminations = 0;
};

} // namespace drovane::fakes
