#pragma once

#include "platform/Platform.h"
#include "platform/Url.h"

#include <optional>
#include <string>

namespace drovane {

class Window;

// The alert shown each time the user chooses a film, inviting them to make the system show the
// same film, with a box to stop these reminders. Main thread only.
namespace MatchReminder {

inline constexpr const char* notNowTitle = "Not Now";
inline constexpr const char* suppressionTitle = "Stop reminding me";

// The system's Wallpaper settings pane, where the platform has one.
const Url& settingsURL();

// Reminds, unless the user turned reminders off, that `film` (a display name) now plays; the
// film's file is `filmURL`. A sheet on `over` when it is given and visible, otherwise a
// free-standing alert with the application brought to the front.
void show(const Platform& platform, const std::string& film, const std::optional<Url>& filmURL,
          const Window* over);

} // namespace MatchReminder

} // namespace drovane
