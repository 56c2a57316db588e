#include "app/LaunchOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace drovane {

namespace {

// A link of the program's own scheme: what a browser or a desktop entry's %U hands over.
bool isProgramLink(const std::string& argument) {
    return argument.starts_with(LaunchOptions::urlScheme) &&
           argument.size() > LaunchOptions::urlScheme.size() &&
           argument[LaunchOptions::urlScheme.size()] == ':';
}

} // namespace

LaunchOptions LaunchOptions::read(const std::vector<std::string>& arguments) {
    LaunchOptions options;
    auto has = [&](const char* flag) {
        return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
    };
    options.openWindow = has("--open-window");
    options.onboarding = has("--onboarding");
    options.settings = has("--settings");

    std::size_t i = 0;
    while (i < arguments.size()) {
        const std::string& argument = arguments[i];
        const bool hasNext = i + 1 < arguments.size();
        std::optional<std::string>* valued = nullptr;
        if (argument == "--screenshot") {
            valued = &options.screenshotPath;
        } else if (argument == "--size") {
            valued = &options.sizeText;
        } else if (argument == "--select") {
            valued = &options.selectText;
        } else if (argument == "--appearance") {
            valued = &options.appearanceText;
        }
        if (valued && hasNext) {
            *valued = arguments[i + 1];
            i += 2;
            continue;
        }
        if (isProgramLink(argument)) {
            // One that does not parse is no link, and no film path either.
            if (auto url = Url::parse(argument)) {
                options.urls.push_back(std::move(*url));
            }
        } else if (!argument.starts_with("--") && !options.positional) {
            options.positional = argument;
        }
        ++i;
    }
    return options;
}

std::optional<std::string> informationAsked(const std::vector<std::string>& arguments,
                                            const std::string& version) {
    for (const std::string& argument : arguments) {
        if (argument == "--version") {
            return "Drovane " + version + "\n";
        }
        if (argument == "--help") {
            return "Usage: drovane [OPTION...] [FILM.mov | drovane://film/ID]\n"
                   "Plays aerial films as a live desktop wallpaper.\n"
                   "\n"
                   "  --open-window       show the library window\n"
                   "  --settings          show the library window, then the settings window\n"
                   "  --onboarding        start without a film and without wallpaper windows\n"
                   "  --select WHAT       the library's first view: all, favorites, ondisk, or a\n"
                   "                      group's name\n"
                   "  --appearance NAME   dark, or light for any other name\n"
                   "  --size WxH          the library window's content size\n"
                   "  --screenshot PATH   4 s after start, write a PNG of the library window (of\n"
                   "                      the settings window with --settings)\n"
                   "  --help              show this help and leave\n"
                   "  --version           show the version and leave\n"
                   "\n"
                   "FILM.mov plays that film. A drovane://film/ID link plays the film of that\n"
                   "identifier, downloading it first; while Drovane runs, a later start hands its\n"
                   "link to the running copy. Other options are ignored.\n";
        }
    }
    return std::nullopt;
}

std::optional<Size> parseSizeText(const std::string& text) {
    std::vector<double> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('x', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = text.substr(start, end - start);
        if (!piece.empty()) {
            double value = 0;
            const char* first = piece.data();
            const char* last = piece.data() + piece.size();
            if (*first == '+') {
                ++first; // "+800" is a number too
            }
            auto [ptr, ec] = std::from_chars(first, last, value);
            if (ec == std::errc{} && ptr == last && first != last && std::isfinite(value)) {
                numbers.push_back(value);
            }
        }
        start = end + 1;
    }
    if (numbers.size() != 2) {
        return std::nullopt;
    }
    return Size{numbers[0], numbers[1]};
}

} // namespace drovane
