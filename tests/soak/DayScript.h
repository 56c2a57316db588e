#pragma once

#include "platform/Date.h"

#include <array>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace drovane::fakes {
class FakeWallpaperWindow;
}

namespace drovane::soak {

class LibraryView;
class SoakWorld;

// Everything that happens during the day, one event at a time.
enum class Event {
    Idle,
    ScreensChanged,
    TrayPickFilm,
    TrayTogglePause,
    TrayCancelDownloads,
    TrayOpenLibrary,
    TrayOpenSettings,
    TrayOpenFolder,
    TileTap,
    TileMenu,
    DeletePlaying,
    SidebarDownloadAll,
    SidebarDeleteAll,
    SidebarSelect,
    DownloadBatch,
    DownloadMany,
    CancelItem,
    CancelAllInWindow,
    ThumbnailsShown,
    ThumbnailsHidden,
    CloseLibrary,
    FilmUrl,
    Reopen,
    PauseOnLowPowerSetting,
    RemindSetting,
    CloseSettings,
    Lock,
    Unlock,
    DisplaysSleep,
    DisplaysWake,
    SaverStart,
    SaverStop,
    LowPowerOn,
    LowPowerOff,
    Thermal,
    Cover,
    Uncover,
    OtherWindowOcclusion,
    AnswerAlert,
    TrashRefuses,
};
inline constexpr std::size_t eventKinds = static_cast<std::size_t>(Event::TrashRefuses) + 1;
const char* eventName(Event event);

// The user and the machine: picks an event that fits the moment, with weights that make a
// plausible day, and makes it happen through the program's own surfaces (tray menu, library
// window actions and tiles, settings switches, URLs, the machine's notifications).
class DayScript {
public:
    DayScript(SoakWorld& world, LibraryView& view) : m_world(world), m_view(view) {}

    // Makes one event happen; returns what happened, for the failure report.
    std::string act(std::mt19937_64& random);
    // Brings the machine and the user back to rest: windows closed, downloads cancelled, the
    // screen unlocked and awake, nothing covered, nothing paused, alerts answered.
    void rest();

private:
    std::vector<std::pair<Event, int>> choices() const;
    std::string perform(Event event, std::mt19937_64& random);
    std::string answerAlert(std::mt19937_64& random);

    SoakWorld& m_world;
    LibraryView& m_view;
};

} // namespace drovane::soak
