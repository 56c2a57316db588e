#pragma once

#include <string>

namespace drovane {

// What "matching the system" means on a platform, and how the settings switch and the reminder
// word it. The product's texts state facts about macOS; on Linux the desktop cannot play the
// film, so the reminder offers a still of it as the desktop's own background instead.
struct MatchWording {
    enum class Action {
        // Opens the system's Wallpaper settings.
        OpenWallpaperSettings,
        // Writes a full-size still of the film and makes it the desktop's background.
        UseStillAsDesktopBackground,
    };

    const char* remindSwitch;
    // The reminder's informative text is prefix + film name + suffix.
    const char* informativePrefix;
    const char* informativeSuffix;
    const char* firstButton;
    Action action;

    std::string informativeText(const std::string& film) const {
        return informativePrefix + film + informativeSuffix;
    }
};

inline constexpr MatchWording macMatchWording{
    "Remind me to match System Settings",
    "macOS keeps its own wallpaper and screen saver, and only it can change them. Pick ",
    " there as well and your desktop, screen saver and lock screen all show the same film.",
    "Open Wallpaper Settings",
    MatchWording::Action::OpenWallpaperSettings,
};

inline constexpr MatchWording linuxMatchWording{
    "Remind me to match the desktop background",
    "Your desktop keeps its own background for the lock screen and for when Drovane is not running. "
    "Use a still of ",
    " there as well and they all show the same film.",
    "Use as Desktop Background",
    MatchWording::Action::UseStillAsDesktopBackground,
};

// The wording of the platform this program is built for; the one place that chooses.
inline const MatchWording& matchWording() {
#if defined(__APPLE__)
    return macMatchWording;
#else
    return linuxMatchWording;
#endif
}

} // namespace drovane
