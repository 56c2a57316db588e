#pragma once

#include "fakes/TempDir.h"
#include "platform/Host.h"

#include <filesystem>
#include <map>

namespace drovane::fakes {

// A host whose home folder and system root are folders of a temporary tree, and whose every
// other answer the test sets.
class FakeHost final : public Host {
public:
    FakeHost() : m_home(m_tree.path() + "/home") {
        for (const char* folder : {"/home", "/root", "/tmp"}) {
            std::filesystem::create_directories(m_tree.path() + folder);
        }
    }

    std::string homeDirectory() const override { return m_home; }
    std::string settingsDirectory() const override { return m_home + "/.config/drovane"; }
    std::string cacheDirectory() const override { return m_home + "/.cache/drovane"; }
    std::string lockDirectory() const override { return m_tree.path() + "/run/drovane"; }
    std::vector<std::string> arguments() const override { return args; }
    std::optional<std::string> environment(const std::string& name) const override {
        auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::string temporaryDirectory() const override { return m_tree.path() + "/tmp"; }
    int processId() const override { return pid; }
    std::optional<std::string> bundleIdentifier() const override { return bundleId; }
    Value::Dictionary infoDictionary() const override { return info; }
    std::optional<Url> bundleUrl() const override { return bundle; }
    OperatingSystemVersion operatingSystemVersion() const override { return osVersion; }
    std::string hardwareModel() const override { return model; }
    std::string systemRoot() const override { return m_tree.path() + "/root"; }

    // The whole temporary tree: home/, root/ (system paths) and tmp/ below it.
    const TempDir& tree() const { return m_tree; }

    std::vector<std::string> args{"/opt/drovane/drovane"};
    int pid = 4242;
    std::map<std::string, std::string> env;
    std::optional<std::string> bundleId;
    Value::Dictionary info;
    std::optional<Url> bundle;
    OperatingSystemVersion osVersion{14, 4, 1};
    std::string model = "TestMachine1,1";

private:
    TempDir m_tree;
    std::string m_home;
};

} // namespace drovane::fakes
