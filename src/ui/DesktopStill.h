#pragma once

#include "platform/Geometry.h"
#include "platform/Platform.h"

#include <string>

namespace drovane {

// A still of a film made the desktop's own background, so that the lock screen, and the desktop
// while the program is not running, show the same film. Main thread only.
namespace DesktopStill {

// Where in the seconds of a film the still is taken, and how far from it a frame may lie.
inline constexpr double stillTime = 2.0;
inline constexpr double stillTolerance = 1.0;
inline constexpr double jpegQuality = 0.92;

// The largest of `screens` by area; a full-HD size when there is none.
Size largestScreen(const std::vector<Rect>& screens);
// The still's file for the film at `filmPath` in `folder`: the film's base name with ".jpg".
std::string stillPath(const std::string& folder, const std::string& filmPath);

// Takes a frame at two seconds at most the largest screen's size, writes it as a JPEG into the
// desktop background's folder (atomically, replacing an older still of the same film) and makes
// it the background; where the desktop cannot be told, reveals the file instead. A film without
// a usable frame leaves the background alone and logs one line. The work off the main thread
// runs on a queue of its own.
void useAsDesktopBackground(const Platform& platform, const std::string& filmPath);
// The same still, written to the same place and revealed in the file manager, for a desktop that
// lets no program set its background.
void saveAndReveal(const Platform& platform, const std::string& filmPath);

} // namespace DesktopStill

} // namespace drovane
