#pragma once

#include "platform/Date.h"
#include "platform/Url.h"

#include <string>

namespace drovane {

class DefaultsStore;
class Host;
class Log;

// Typed accessors over the defaults keys that several layers read (engine, windows, updater,
// shell), and the program's identity: version, machine, web addresses. Every accessor reads the
// installed platform's standard defaults store at the moment of the call. Main thread.
namespace Settings {

// The defaults keys.
inline constexpr const char* selectedVideoKey = "selectedVideo";
inline constexpr const char* firstLaunchKey = "firstLaunch";
inline constexpr const char* favoritesKey = "favorites";
inline constexpr const char* pauseOnLowPowerKey = "pauseOnLowPower";
inline constexpr const char* remindToMatchKey = "remindToMatch";
inline constexpr const char* autoUpdateKey = "autoUpdate";
inline constexpr const char* lastUpdateCheckKey = "lastUpdateCheck";
inline constexpr const char* skippedVersionKey = "skippedVersion";

// The standard defaults domain (its file is "app.drovane.plist" in the host's settings folder).
inline constexpr const char* standardDomain = "app.drovane";

// A missing or non-Boolean value reads as true; the default is never written back.
bool pauseOnLowPower();
bool remindToMatch();
bool autoUpdate();
// The stored date, or the distant past.
Date lastUpdateCheck();

// Registers (true) or unregisters (false) the application as a login item; only for an
// application bundle. A failure is logged; nothing is stored.
void setLaunchAtLogin(bool on);

// The display version: "DVVersion", else "CFBundleShortVersionString" of the bundle's
// information dictionary, else the trimmed "VERSION" file beside the executable, else "dev".
std::string version();
// The same for `host`, before any platform is installed.
std::string version(const Host& host);

// The root address of the product's web site: the build's choice, or DROVANE_SITE_URL.
const Url& siteURL();
const Url& downloadURL();
const Url& versionURL();
// The site's preview picture of a film: "/preview/" + identifier + ".webp" on the root.
Url previewURL(const std::string& id);
// "/feedback/" with the query items app, system, mac and displays describing this machine.
Url feedbackFormURL();

namespace detail {
// The machine's model name, "Mac" when it gives none.
std::string hardware();
// The site's root as `host` gives it: DROVANE_SITE_URL when set to a valid address (logged
// otherwise), else the build's choice; no trailing separator. siteURL() keeps the first.
Url siteRoot(const Host& host, Log& log);
} // namespace detail

} // namespace Settings

} // namespace drovane
