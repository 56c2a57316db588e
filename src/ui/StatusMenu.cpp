#include "ui/StatusMenu.h"

#include "library/Downloader.h"
#include "library/Library.h"
#include "platform/Log.h"
#include "platform/Platform.h"
#include "platform/StatusBar.h"
#include "platform/Workspace.h"
#include "playback/AppModel.h"
#include "support/CaseMapping.h"
#include "ui/MenuBarGlyph.h"

#include <algorithm>
#include <cassert>
#include <map>

namespace drovane {

namespace {

constexpr const char* emDash = "\u2014";

MenuItem actionItem(std::string identifier, std::string title, std::function<void()> action) {
    MenuItem item;
    item.identifier = std::move(identifier);
    item.title = std::move(title);
    item.action = std::move(action);
    return item;
}

bool samePath(const Url& a, const std::optional<Url>& b) {
    return b && a.path() == b->path();
}

} // namespace

std::shared_ptr<StatusMenu> StatusMenu::create(const Platform& platform,
                                               std::shared_ptr<const Library> library, AppModel& model) {
    return std::make_shared<StatusMenu>(Passkey{}, platform, std::move(library), model);
}

StatusMenu::StatusMenu(Passkey, const Platform& platform, std::shared_ptr<const Library> library,
                       AppModel& engine)
    : model(engine), m_library(std::move(library)), m_statusBar(platform.statusBar),
      m_workspace(platform.workspace), m_log(platform.log) {}

void StatusMenu::setupMenu() {
    assert(!statusItem && "setupMenu() runs once");
    statusItem = m_statusBar->makeItem();
    if (!statusItem->hasButton()) {
        m_log->line("Drovane: status bar unavailable, running without menu");
    }
    // Given even without a button, so that a host starting later shows it.
    statusItem->setIcon(MenuBarGlyph::image());

    std::weak_ptr<StatusMenu> weakSelf = weak_from_this();
    model.onThrottledChanged = [weakSelf](bool throttled) {
        auto self = weakSelf.lock();
        if (!self || !self->statusItem) {
            return;
        }
        StatusIcon icon = MenuBarGlyph::image();
        icon.dimmed = throttled;
        self->statusItem->setIcon(icon);
    };
    statusItem->setMenuBuilder([weakSelf] {
        Menu menu;
        if (auto self = weakSelf.lock()) {
            self->rebuildMenu(menu);
        }
        return menu;
    });
}

void StatusMenu::stateChanged() {
    if (statusItem) {
        statusItem->menuStateChanged();
    }
}

void StatusMenu::rebuildMenu(Menu& menu) const {
    const std::optional<Url> playing = model.videoURL;
    menu.clear();

    menu.push_back(actionItem("openWindow", "Open Drovane", bound(&StatusMenu::openWindow)));
    menu.push_back(MenuItem::separator("separator.window"));
    menu.push_back(actionItem("togglePause", model.manualPaused ? "Play Wallpaper" : "Pause Wallpaper",
                              bound(&StatusMenu::togglePause)));
    menu.push_back(MenuItem::separator("separator.pause"));

    MenuItem wallpaper;
    wallpaper.kind = MenuItem::Kind::Submenu;
    wallpaper.identifier = "wallpaper";
    wallpaper.title = "Wallpaper";
    const std::vector<Vid> films = m_library->allVideos();
    for (const Vid& film : films) {
        if (samePath(film.url, playing)) {
            wallpaper.title = std::string("Wallpaper ") + emDash + " " + film.label;
            break;
        }
    }
    wallpaper.submenu = filmSubmenu(films, playing);
    wallpaper.submenuDirection = LayoutDirection::RightToLeft;
    menu.push_back(std::move(wallpaper));
    menu.push_back(MenuItem::separator("separator.wallpaper"));

    if (auto line = downloadLine()) {
        menu.push_back(actionItem("cancelDownload", *line, bound(&StatusMenu::cancelDownload)));
        menu.push_back(MenuItem::separator("separator.download"));
    }
    menu.push_back(actionItem("openFolder", "Open Folder", bound(&StatusMenu::openFolder)));
    menu.push_back(MenuItem::separator("separator.folder"));
    menu.push_back(actionItem("openSettings", "Settings", bound(&StatusMenu::openSettings)));
    MenuItem quit = actionItem("quitApp", "Quit", bound(&StatusMenu::quitApp));
    quit.keyEquivalent = "q";
    menu.push_back(std::move(quit));
}

Menu StatusMenu::filmSubmenu(const std::vector<Vid>& films, const std::optional<Url>& playing) const {
    std::map<std::string, std::vector<Vid>> byGroup;
    std::vector<std::string> groups;
    for (const Vid& film : films) {
        auto& members = byGroup[film.group];
        if (members.empty()) {
            groups.push_back(film.group);
        }
        members.push_back(film);
    }
    // UTF-8 byte order is code-point order.
    std::vector<std::pair<std::string, std::string>> keyed;
    for (auto& group : groups) {
        keyed.emplace_back(lowerCased(group), std::move(group));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    Menu submenu;
    std::weak_ptr<StatusMenu> weakSelf = std::const_pointer_cast<StatusMenu>(shared_from_this());
    for (const auto& [key, group] : keyed) {
        for (const Vid& film : byGroup[group]) {
            MenuItem item = actionItem("film:" + film.url.string(), film.label, [weakSelf, url = film.url] {
                if (auto self = weakSelf.lock()) {
                    self->selectVideo(url);
                }
            });
            item.checkable = true;
            item.checked = samePath(film.url, playing);
            submenu.push_back(std::move(item));
        }
    }
    return submenu;
}

std::optional<std::string> StatusMenu::downloadLine() const {
    const Downloader& queue = *model.downloader;
    if (queue.active().empty() && queue.waiting().empty()) {
        return std::nullopt;
    }
    std::string line = "Downloading " + std::to_string(queue.done()) + "/" + std::to_string(queue.total());
    if (queue.failed() >= 1) {
        line += " (" + std::to_string(queue.failed()) + " failed)";
    }
    return line + " " + emDash + " Cancel";
}

std::function<void()> StatusMenu::bound(void (StatusMenu::*action)()) const {
    std::weak_ptr<StatusMenu> weakSelf = std::const_pointer_cast<StatusMenu>(shared_from_this());
    return [weakSelf, action] {
        if (auto self = weakSelf.lock()) {
            ((*self).*action)();
        }
    };
}

void StatusMenu::openWindow() {
    if (onOpenWindow) {
        onOpenWindow();
    }
}

void StatusMenu::openSettings() {
    if (onOpenSettings) {
        onOpenSettings();
    }
}

void StatusMenu::togglePause() {
    model.manualPaused = !model.manualPaused;
    model.updatePlayback();
}

void StatusMenu::selectVideo(const Url& film) {
    model.switchVideo(film);
}

void StatusMenu::cancelDownload() {
    model.downloader->cancelAll();
}

void StatusMenu::openFolder() {
    m_workspace->openUrl(Url::fromFilePath(m_library->videosDir()));
}

void StatusMenu::quitApp() {
    m_workspace->terminate();
}

} // namespace drovane
