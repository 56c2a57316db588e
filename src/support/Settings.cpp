#include "support/Settings.h"

#include "platform/Platform.h"
#include "support/AtomicFile.h"
#include "support/Files.h"
#include "support/Text.h"

#include <mutex>
#include <optional>

#ifndef DROVANE_SITE_URL
#error "the build defines DROVANE_SITE_URL"
#endif

namespace drovane::Settings {

namespace {

bool booleanDefaultTrue(const char* key) {
    auto v = platform().defaults->value(key);
    if (!v) {
        return true;
    }
    return v->asBool().value_or(true);
}

struct SiteAddresses {
    Url site;
    Url download;
    Url version;
};

std::mutex g_addressesMutex;
std::optional<SiteAddresses> g_addresses;

const SiteAddresses& siteAddresses() {
    std::lock_guard lock(g_addressesMutex);
    if (!g_addresses) {
        const Url site = detail::siteRoot(*platform().host, *platform().log);
        g_addresses = SiteAddresses{site, site.withPath("/download/"), site.withPath("/version.json")};
    }
    return *g_addresses;
}

} // namespace

bool pauseOnLowPower() {
    return booleanDefaultTrue(pauseOnLowPowerKey);
}
bool remindToMatch() {
    return booleanDefaultTrue(remindToMatchKey);
}
bool autoUpdate() {
    return booleanDefaultTrue(autoUpdateKey);
}

Date lastUpdateCheck() {
    auto v = platform().defaults->value(lastUpdateCheckKey);
    return v && v->asDate() ? *v->asDate() : Date::distantPast();
}

void setLaunchAtLogin(bool on) {
    Platform& p = platform();
    if (!p.host->bundleIdentifier()) {
        return;
    }
    auto error = on ? p.loginItems->registerApplication() : p.loginItems->unregisterApplication();
    if (error) {
        logLine(std::string("Drovane: launch at login ") + (on ? "on" : "off") + " failed: " + *error);
    }
}

std::string version() {
    return version(*platform().host);
}

std::string version(const Host& host) {
    const Value::Dictionary info = host.infoDictionary();
    for (const char* key : {"DVVersion", "CFBundleShortVersionString"}) {
        auto it = info.find(key);
        if (it != info.end()) {
            if (auto s = it->second.asString()) {
                return *s;
            }
        }
    }
    const auto arguments = host.arguments();
    if (!arguments.empty()) {
        const std::string& executable = arguments.front();
        auto slash = executable.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : executable.substr(0, slash);
        if (auto text = readWholeFile((folder.empty() ? "/" : folder) + "/VERSION")) {
            return std::string(trimmed(*text));
        }
    }
    return "dev";
}

const Url& siteURL() {
    return siteAddresses().site;
}
const Url& downloadURL() {
    return siteAddresses().download;
}
const Url& versionURL() {
    return siteAddresses().version;
}

Url previewURL(const std::string& id) {
    // One path segment, so that no identifier reaches outside "/preview/".
    return siteURL().withPath("/preview/").appendingPathComponent(id + ".webp");
}

Url feedbackFormURL() {
    const Platform& p = platform();
    const OperatingSystemVersion os = p.host->operatingSystemVersion();
    const std::string system =
        std::to_string(os.major) + "." + std::to_string(os.minor) + "." + std::to_string(os.patch);
    const std::size_t displays = p.screens ? p.screens->frames().size() : 0;
    return siteURL()
        .withPath("/feedback/")
        .withQueryItems({
            {"app", version()},
            {"system", system},
            {"mac", detail::hardware()},
            {"displays", std::to_string(displays)},
        });
}

namespace detail {

std::string hardware() {
    std::string model = platform().host->hardwareModel();
    return model.empty() ? "Mac" : model;
}

Url siteRoot(const Host& host, Log& log) {
    std::string root = DROVANE_SITE_URL;
    if (auto fromEnvironment = host.environment("DROVANE_SITE_URL")) {
        if (!fromEnvironment->empty()) {
            root = *fromEnvironment;
        }
    }
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    auto site = Url::parse(root);
    if (!site || site->scheme().empty() || site->host().empty()) {
        log.line("Drovane: site address " + root + " is not valid, using " + DROVANE_SITE_URL);
        site = Url::parse(DROVANE_SITE_URL);
    }
    return *site;
}

} // namespace detail

} // namespace drovane::Settings
