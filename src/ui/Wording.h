#pragma once

#include <string>

namespace drovane {

// The few texts of the windows that state facts about the machine, as each platform words them,
// and what "matching the system" does there. Every other text stands where it is used. On Linux
// the desktop cannot play the film, so the reminder offers a still of it as the desktop's own
// background, and the program fetches the catalogue itself.
struct Wording {
    enum class MatchAction {
        // Opens the system's Wallpaper settings.
        OpenWallpaperSettings,
        // Writes a full-size still of the film and makes it the desktop's background.
        UseStillAsDesktopBackground,
    };

    // The library window's empty state and the tile's reveal item.
    const char* emptyLabel;
    const char* noCatalogDescription;
    const char* fetchCatalogButton;
    const char* revealItem;
    // The settings switch and the match reminder; its informative text is prefix + film name
    // + suffix.
    const char* remindSwitch;
    const char* informativePrefix;
    const char* informativeSuffix;
    const char* firstButton;
    MatchAction matchAction;
    // The reminder where the desktop lets no program set its background: the still is saved and
    // shown as a file for the user to choose there.
    const char* noSetterPrefix;
    const char* noSetterSuffix;
    const char* noSetterButton;
    // The reminder where the film already is the desktop's background (Plasma's wallpaper is the
    // program's plugin): its one button says so.
    const char* filmShownPrefix;
    const char* filmShownSuffix;
    const char* filmShownButton;

    std::string informativeText(const std::string& film) const {
        return informativePrefix + film + informativeSuffix;
    }
    std::string noSetterText(const std::string& film) const { return noSetterPrefix + film + noSetterSuffix; }
    std::string filmShownText(const std::string& film) const {
        return filmShownPrefix + film + filmShownSuffix;
    }
};

inline constexpr Wording macWording{
    "No Aerials on This Mac",
    "Open Wallpaper settings once \u2014 macOS will fetch the aerials catalog, then films can be downloaded "
    "here.",
    "Open Wallpaper Settings",
    "Show in Finder",
    "Remind me to match System Settings",
    "macOS keeps its own wallpaper and screen saver, and only it can change them. Pick ",
    " there as well and your desktop, screen saver and lock screen all show the same film.",
    "Open Wallpaper Settings",
    Wording::MatchAction::OpenWallpaperSettings,
    "macOS keeps its own wallpaper and screen saver, and only it can change them. Pick ",
    " there as well and your desktop, screen saver and lock screen all show the same film.",
    "Open Wallpaper Settings",
    "macOS keeps its own wallpaper and screen saver, and only it can change them. Pick ",
    " there as well and your desktop, screen saver and lock screen all show the same film.",
    "Open Wallpaper Settings",
};

inline constexpr Wording linuxWording{
    "No Aerials on This Computer",
    "Drovane can fetch the aerials catalog from its web site \u2014 then films can be downloaded here.",
    "Fetch the Catalog",
    "Show in File Manager",
    "Remind me to match the desktop background",
    "Your desktop keeps its own background for the lock screen and for when Drovane is not running. "
    "Use a still of ",
    " there as well and they all show the same film.",
    "Use as Desktop Background",
    Wording::MatchAction::UseStillAsDesktopBackground,
    "Your desktop keeps its own background for the lock screen and for when Drovane is not running, and "
    "it lets no program change it. Save a still of ",
    " and choose it in your desktop's settings, and they all show the same film.",
    "Save the Still",
    "Drovane plays ",
    " as your desktop's background itself, under its icons and panels. Your desktop keeps its own background "
    "for the lock screen and for when Drovane is not running.",
    "Already the Desktop Background",
};

// The wording of the platform this program is built for; the one place that chooses.
inline const Wording& wording() {
#if defined(__APPLE__)
    return macWording;
#else
    return linuxWording;
#endif
}

} // namespace drovane
