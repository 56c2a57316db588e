#include "ui/MatchReminder.h"

#include "platform/Window.h"
#include "support/Settings.h"
#include "ui/DesktopStill.h"
#include "ui/Wording.h"

namespace drovane::MatchReminder {

const Url& settingsURL() {
    static const Url url = *Url::parse("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension");
    return url;
}

void show(const Platform& platform, const std::string& film, const std::optional<Url>& filmURL,
          const Window* over) {
    if (!Settings::remindToMatch() || !platform.alerts) {
        return;
    }
    const Wording& words = wording();
    const bool settable = words.matchAction != Wording::MatchAction::UseStillAsDesktopBackground ||
                          (platform.desktopBackground && platform.desktopBackground->canSetPicture());
    // The film already is the background: nothing to match, and a still would replace it.
    const bool filmShown = words.matchAction == Wording::MatchAction::UseStillAsDesktopBackground &&
                           platform.desktopBackground && platform.desktopBackground->showsFilm();
    AlertContent alert;
    alert.message = "Playing " + film + ".";
    alert.informativeText = filmShown  ? words.filmShownText(film)
                            : settable ? words.informativeText(film)
                                       : words.noSetterText(film);
    alert.buttons = filmShown ? std::vector<std::string>{words.filmShownButton}
                              : std::vector<std::string>{settable ? words.firstButton : words.noSetterButton,
                                                         notNowTitle};
    alert.suppressionTitle = suppressionTitle;

    const Window* sheetOn = over && over->isVisible() ? over : nullptr;
    if (!sheetOn) {
        platform.workspace->activate();
    }
    // The answer needs no alerts; without them the alert does not hold itself through its answer.
    Platform answering = platform;
    answering.alerts = nullptr;
    platform.alerts->show(
        alert, sheetOn,
        [platform = std::move(answering), filmURL, &words, settable, filmShown](AlertResponse response) {
            if (response.suppressed) {
                platform.defaults->set(Settings::remindToMatchKey, false);
            }
            if (response.button != 0 || filmShown) {
                return;
            }
            switch (words.matchAction) {
            case Wording::MatchAction::OpenWallpaperSettings:
                platform.workspace->openUrl(settingsURL());
                break;
            case Wording::MatchAction::UseStillAsDesktopBackground:
                if (auto path = filmURL ? filmURL->filePath() : std::nullopt) {
                    if (settable) {
                        DesktopStill::useAsDesktopBackground(platform, *path);
                    } else {
                        DesktopStill::saveAndReveal(platform, *path);
                    }
                }
                break;
            }
        });
}

} // namespace drovane::MatchReminder
