#pragma once

#include "desktop/render/stream/ScreenStream.h"
#include "platform/Geometry.h"

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The scripts run in plasmashell (org.kde.PlasmaShell.evaluateScript) to make Drovane's plugin the
// wallpaper of its desktops and to give the earlier wallpapers back, and the state they rest on.
namespace drovane::desktop::plasma {

// The wallpaper package plasmashell runs for us.
inline constexpr char pluginId[] = "app.drovane.wallpaper";
// What a desktop with no known earlier wallpaper gets back: Plasma's own default.
inline constexpr char defaultPlugin[] = "org.kde.image";

// A desktop's wallpaper: its plugin and that plugin's settings (the "General" group).
struct Wallpaper {
    std::string plugin;
    std::map<std::string, std::string> config;
    friend bool operator==(const Wallpaper&, const Wallpaper&) = default;
};

// One desktop (containment) as plasmashell describes it.
struct Desktop {
    int id = 0;
    // Plasma's screen number, -1 when the desktop is on no screen now.
    int screen = -1;
    Rect geometry;
    Wallpaper wallpaper;
};

// The wallpaper each desktop had before Drovane's, by containment id.
using Remembered = std::map<int, Wallpaper>;

// `value` as a JavaScript literal (JSON, with the two line separators JSON allows in strings but
// older JavaScript does not escaped too): nothing in it can end its string.
QString javaScriptLiteral(const QString& value);

// Prints every desktop with its screen, its screen's geometry and its wallpaper, as JSON.
QString readScript();
// The desktops in readScript()'s output; nothing when it is not what that script prints.
std::optional<std::vector<Desktop>> parseDesktops(const QString& printed);

// The stream each desktop on a screen shows: the one whose frame is the screen's, else the one
// holding the screen's centre. Desktops with neither are left as they are.
std::map<int, std::uint32_t> streamsFor(const std::vector<Desktop>& desktops,
                                        const std::vector<ScreenStream>& streams);
// `remembered` with the wallpapers of the desktops about to be taken (`taken`) added: a desktop
// already showing the plugin (left so by a crash) keeps what was remembered for it.
Remembered remember(const std::vector<Desktop>& desktops, const std::map<int, std::uint32_t>& taken,
                    Remembered remembered);
// Makes the plugin the wallpaper of each desktop in `nodes`, showing that PipeWire node.
QString takeOverScript(const std::map<int, std::uint32_t>& nodes);
// Gives every desktop that still shows the plugin its remembered wallpaper, or Plasma's default
// when none is known; desktops the user has set otherwise meanwhile keep the user's choice.
QString giveBackScript(const Remembered& remembered);

// The remembered wallpapers as kept on disk, and back; nothing for a file that is not one.
std::string serialize(const Remembered& remembered);
std::optional<Remembered> parseRemembered(const std::string& text);

} // namespace drovane::desktop::plasma
