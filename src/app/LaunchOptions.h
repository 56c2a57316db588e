#pragma once

#include "platform/Geometry.h"
#include "platform/Url.h"

#include <optional>
#include <string>
#include <vector>

namespace drovane {

// What the command line asks for. Flags are found anywhere; valued options are read left to
// right, a later one replacing an earlier one; a value is taken unchanged even when it begins
// with "--"; only the first positional argument is kept. A link of the program's own scheme
// ("drovane:...") where a positional could stand is a URL handed over, never the film path.
struct LaunchOptions {
    bool openWindow = false;                   // "--open-window"
    bool onboarding = false;                   // "--onboarding"
    bool settings = false;                     // "--settings"
    std::optional<std::string> screenshotPath; // "--screenshot PATH"
    std::optional<std::string> sizeText;       // "--size WxH"
    std::optional<std::string> selectText;     // "--select WHAT", the last one given
    std::optional<std::string> appearanceText; // "--appearance NAME", the last one given
    std::optional<std::string> positional;     // the film path
    std::vector<Url> urls;                     // links of the program's scheme, in order

    friend bool operator==(const LaunchOptions&, const LaunchOptions&) = default;

    // The scheme of the program's links.
    static constexpr std::string_view urlScheme = "drovane";

    // Reads the arguments after the program path.
    static LaunchOptions read(const std::vector<std::string>& arguments);
};

// What "--help" or "--version" (the first of them given, wherever it stands) asks to be
// printed instead of starting: the options, or "Drovane " and `version`. Nothing when neither
// is given.
std::optional<std::string> informationAsked(const std::vector<std::string>& arguments,
                                            const std::string& version);

// The library window's content size from a "--size" text: the text split at every lower-case
// "x", empty pieces dropped, pieces that are not finite numbers dropped; a size only when
// exactly two numbers remain.
std::optional<Size> parseSizeText(const std::string& text);

} // namespace drovane
