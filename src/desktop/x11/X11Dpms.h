#pragma once

#include <functional>
#include <optional>
#include <string>

namespace drovane {
class Log;
}

namespace drovane::desktop {

// One reading of the X server's DPMS power level: true when the displays sleep (standby,
// suspend or off), false when they are on or DPMS is disabled, nothing when the server could
// not be asked this time.
using DpmsReader = std::function<std::optional<bool>()>;

// A reader of the X display `display` ("" for $DISPLAY); an empty function, after one line on
// `log`, when there is no X display or it has no DPMS.
DpmsReader openDpmsReader(const std::string& display, Log& log);

} // namespace drovane::desktop
