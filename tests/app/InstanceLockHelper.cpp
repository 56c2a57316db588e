// Takes the instance lock as the application does, for tests that run two copies at once.
// Usage: drovane_instance_lock_helper HOME hold|try
//   hold: after taking the lock, prints "acquired" and waits for SIGTERM.
//   try:  prints "acquired" and exits 0.

#include "app/InstanceLock.h"
#include "platform/Platform.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

class StderrLog final : public drovane::Log {
public:
    void line(const std::string& text) override { std::cerr << text << std::endl; }
};

class HelperHost final : public drovane::Host {
public:
    explicit HelperHost(std::string home) : m_home(std::move(home)) {}
    std::string homeDirectory() const override { return m_home; }
    std::vector<std::string> arguments() const override { return {}; }
    std::optional<std::string> environment(const std::string&) const override { return std::nullopt; }
    std::string temporaryDirectory() const override { return "/tmp"; }
    int processId() const override { return static_cast<int>(::getpid()); }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    drovane::Value::Dictionary infoDictionary() const override { return {}; }
    std::optional<drovane::Url> bundleUrl() const override { return std::nullopt; }
    drovane::OperatingSystemVersion operatingSystemVersion() const override { return {}; }
    std::string hardwareModel() const override { return {}; }
    std::string systemRoot() const override { return {}; }

private:
    std::string m_home;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    drovane::installTerminationHandler();
    auto platform = std::make_shared<drovane::Platform>();
    platform->host = std::make_shared<HelperHost>(argv[1]);
    platform->log = std::make_shared<StderrLog>();
    drovane::installPlatform(platform);

    drovane::InstanceLock::acquireOrExit(*platform->host, *platform->log);
    std::cout << "acquired" << std::endl;
    if (std::string(argv[2]) == "hold") {
        while (true) {
            ::pause();
        }
    }
    return 0;
}
