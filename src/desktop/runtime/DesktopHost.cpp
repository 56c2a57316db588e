#include "desktop/runtime/DesktopHost.h"

#include "support/Files.h"
#include "support/PropertyList.h"
#include "support/Text.h"
#include "support/XdgFolders.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace drovane::desktop {

namespace {

std::string findHome() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        std::string h = home;
        while (h.size() > 1 && h.back() == '/')
            h.pop_back();
        return h;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        return pw->pw_dir;
    }
    return "/";
}

OperatingSystemVersion findOsVersion() {
    if (auto osRelease = readWholeFile("/etc/os-release")) {
        if (auto id = osReleaseValue(*osRelease, "VERSION_ID")) {
            if (auto v = parseVersionNumbers(*id))
                return *v;
        }
    }
    utsname name{};
    if (::uname(&name) == 0) {
        if (auto v = parseVersionNumbers(name.release))
            return *v;
    }
    return {};
}

} // namespace

std::optional<OperatingSystemVersion> parseVersionNumbers(const std::string& text) {
    int numbers[3] = {0, 0, 0};
    std::size_t pos = 0;
    int count = 0;
    while (count < 3 && pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        long n = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            n = std::min(n * 10 + (text[pos] - '0'), 1'000'000L);
            ++pos;
        }
        numbers[count++] = static_cast<int>(n);
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
        } else {
            break;
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    return OperatingSystemVersion{numbers[0], numbers[1], numbers[2]};
}

std::optional<std::string> osReleaseValue(const std::string& osRelease, const std::string& key) {
    std::size_t start = 0;
    while (start < osRelease.size()) {
        auto end = osRelease.find('\n', start);
        if (end == std::string::npos)
            end = osRelease.size();
        std::string line(trimmed(std::string_view(osRelease).substr(start, end - start)));
        start = end + 1;
        if (!line.starts_with(key + "="))
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::nullopt;
}

DesktopHost::DesktopHost(std::vector<std::string> arguments)
    : m_arguments(std::move(arguments)), m_home(findHome()), m_osVersion(findOsVersion()) {
    std::error_code ec;
    m_executable = std::filesystem::read_symlink("/proc/self/exe", ec).string();

    // An installed bundle: <bundle>/Contents/MacOS/<executable>.
    const std::filesystem::path macos = std::filesystem::path(m_executable).parent_path();
    if (macos.filename() == "MacOS" && macos.parent_path().filename() == "Contents") {
        const std::filesystem::path bundle = macos.parent_path().parent_path();
        if (auto bytes = readWholeFile((macos.parent_path() / "Info.plist").string())) {
            if (auto info = readPropertyList(*bytes); info && info->asDictionary()) {
                m_info = *info->asDictionary();
                auto id = m_info.find("CFBundleIdentifier");
                if (id != m_info.end() && id->second.asString() && !id->second.asString()->empty()) {
                    m_bundleIdentifier = id->second.asString();
                    m_bundleUrl = Url::fromFilePath(bundle.string());
                }
            }
        }
    }

    if (auto model = readWholeFile("/sys/class/dmi/id/product_name")) {
        m_hardwareModel = std::string(trimmed(*model));
    }
    m_folders = XdgFolders::resolve(m_home, [this](const std::string& name) { return environment(name); });
    if (const char* root = std::getenv("DROVANE_SYSTEM_ROOT"); root && *root) {
        m_systemRoot = root;
        while (!m_systemRoot.empty() && m_systemRoot.back() == '/')
            m_systemRoot.pop_back();
    }
}

std::string DesktopHost::lockDirectory() const {
    return joinPath(m_folders.runtime.value_or(m_folders.state), applicationFolder);
}

std::optional<std::string> DesktopHost::environment(const std::string& name) const {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string DesktopHost::temporaryDirectory() const {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

int DesktopHost::processId() const {
    return static_cast<int>(::getpid());
}

} // namespace drovane::desktop
