#include "app/AppDelegate.h"

#include "app/FilmLink.h"
#include "app/SettingsMigration.h"
#include "library/Downloader.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "playback/AppModel.h"
#include "playback/PowerMonitor.h"
#include "support/CaseMapping.h"
#include "support/Settings.h"
#include "ui/MainWindowController.h"
#include "ui/MatchReminder.h"
#include "ui/SettingsWindowController.h"
#include "ui/StatusMenu.h"
#include "update/UpdateCheck.h"
#include "update/UpdateInstall.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace drovane {

namespace {

bool isFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

// Why a film asked for by link, not on disk, is not being fetched now; nothing when it is.
std::optional<std::string> whyNotFetched(const Library& library, const Downloader& queue,
                                         const std::string& key) {
    if (queue.active().contains(key) ||
        std::find(queue.waiting().begin(), queue.waiting().end(), key) != queue.waiting().end()) {
        return std::nullopt;
    }
    return library.load()->byId.contains(key) ? "no download address" : "not in the catalog";
}

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(const Platform& platform,
                                                 std::shared_ptr<const Library> library) {
    return std::make_shared<AppDelegate>(Passkey{}, platform, std::move(library));
}

AppDelegate::AppDelegate(Passkey, const Platform& platform, std::shared_ptr<const Library> library)
    : model(AppModel::create(platform, library)), m_platform(platform), m_library(std::move(library)) {}

void AppDelegate::applicationDidFinishLaunching() {
    const Platform& p = m_platform;
    SettingsMigration::run(*model->defaults);
    if (!model->defaults->value(Settings::firstLaunchKey)) {
        model->defaults->set(Settings::firstLaunchKey, p.clock->now());
    }

    auto arguments = p.host->arguments();
    if (!arguments.empty()) {
        arguments.erase(arguments.begin());
    }
    m_options = LaunchOptions::read(arguments);
    if (m_options.selectText) {
        startSelection = SidebarSelection::fromOptionText(*m_options.selectText);
    }
    if (m_options.appearanceText) {
        p.workspace->setAppearance(*m_options.appearanceText == "dark" ? Appearance::Dark
                                                                       : Appearance::Light);
    }

    // Set directly: the launch choice is neither stored again nor announced.
    model->videoURL = chooseLaunchFilm();
    if (model->videoURL) {
        model->buildWindows();
    } else {
        p.log->line("Drovane: no video found in " + m_library->videosDir() +
                    ", running without a wallpaper layer");
    }

    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    statusMenu = StatusMenu::create(p, m_library, *model);
    statusMenu->setupMenu();
    statusMenu->onOpenWindow = [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->showMainWindow();
        }
    };
    statusMenu->onOpenSettings = [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->showSettings();
        }
    };

    model->powerMonitor().startPowerMonitoring();

    m_screens = p.screens->observeChanges([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->screensChanged();
        }
    });

    // A finished download plays the film asked for by URL, or else the first film when none
    // plays yet (a launch without films).
    std::weak_ptr<AppModel> weakModel = model;
    model->downloader->onItemFinished = [weakSelf, weakModel] {
        auto self = weakSelf.lock();
        if (!self || !self->adoptPendingFilm()) {
            if (auto m = weakModel.lock()) {
                m->adoptFirstVideoIfNeeded();
            }
        }
        if (self && self->libraryVisible()) {
            self->mainWindow->store->refresh();
        }
    };

    // Tray hosts may show the menu without asking for it first: it is kept current.
    std::weak_ptr<StatusMenu> weakMenu = statusMenu;
    auto liveStateChanged = [weakMenu, weakSelf] {
        if (auto menu = weakMenu.lock()) {
            menu->stateChanged();
        }
        // The store follows the live state only while someone looks at it.
        if (auto self = weakSelf.lock(); self && self->libraryVisible()) {
            self->mainWindow->store->readLiveState();
        }
    };
    model->downloader->onStateChanged = liveStateChanged;
    model->onStateChanged = liveStateChanged;

    updateInstall = UpdateInstall::create(p);
    updateInstall->windows = [weakSelf] {
        std::vector<std::shared_ptr<const Window>> windows;
        if (auto self = weakSelf.lock()) {
            windows.push_back(self->mainWindow ? self->mainWindow->window() : nullptr);
            windows.push_back(self->settingsWindow ? self->settingsWindow->window() : nullptr);
        }
        return windows;
    };
    std::weak_ptr<UpdateInstall> weakInstall = updateInstall;
    updateCheck =
        UpdateCheck::create(p, [weakInstall](const Release& release, std::weak_ptr<const Window> over) {
            if (auto install = weakInstall.lock()) {
                install->install(release, std::move(over));
            }
        });
    updateCheck->scheduleAutomaticCheck();
    // The settings window may have been asked for before the check existed.
    if (settingsWindow) {
        settingsWindow->view()->setUpdateCheck(updateCheck);
    }
    if (m_options.openWindow || m_options.settings || p.host->bundleIdentifier()) {
        showMainWindow();
    }
    if (m_options.settings) {
        showSettings();
    }
    if (m_options.sizeText) {
        if (auto size = parseSizeText(*m_options.sizeText); size && mainWindow && mainWindow->window()) {
            mainWindow->window()->setContentSize(*size);
        }
    }
    model->onFilmChanged = [weakSelf](const Url& film) {
        if (auto self = weakSelf.lock()) {
            MatchReminder::show(self->m_platform, self->displayName(film), film, self->reminderParent());
        }
    };

    // Links on the command line arrive as the platform hands links over: after launching.
    if (!m_options.urls.empty()) {
        p.mainQueue->post([weakSelf, urls = m_options.urls] {
            if (auto self = weakSelf.lock()) {
                self->openUrls(urls);
            }
        });
    }

    // The settings window is the one pictured when it was asked for, else the library window.
    if (m_options.screenshotPath) {
        p.mainQueue->postAfter(4.0, [weakSelf, path = *m_options.screenshotPath] {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            Window* window = nullptr;
            if (self->m_options.settings && self->settingsWindow) {
                window = self->settingsWindow->window().get();
            } else if (!self->m_options.settings && self->mainWindow) {
                window = self->mainWindow->window().get();
            }
            if (window) {
                snapshot(*window, path, *self->m_platform.log);
            }
        });
    }
}

const std::shared_ptr<LibraryStore>& AppDelegate::libraryStore() {
    if (!m_libraryStore) {
        m_libraryStore = LibraryStore::create(model, m_platform, m_library);
    }
    return m_libraryStore;
}

bool AppDelegate::libraryVisible() const {
    return mainWindow && mainWindow->isWindowVisible();
}

std::string AppDelegate::displayName(const Url& url) const {
    for (const auto& film : m_library->allVideos()) {
        if (film.url == url) {
            return film.label;
        }
    }
    return std::filesystem::path(url.lastPathComponent()).stem().string();
}

const Window* AppDelegate::reminderParent() const {
    return libraryVisible() ? mainWindow->window().get() : nullptr;
}

std::optional<Url> AppDelegate::chooseLaunchFilm() const {
    if (m_options.onboarding) {
        return std::nullopt;
    }
    if (m_options.positional && m_options.positional->ends_with(".mov") && isFile(*m_options.positional)) {
        return Url::fromFilePath(absolutePath(*m_options.positional));
    }
    if (auto stored = model->defaults->string(Settings::selectedVideoKey); stored && isFile(*stored)) {
        return Url::fromFilePath(absolutePath(*stored));
    }
    auto films = m_library->allVideos();
    if (!films.empty()) {
        return films.front().url;
    }
    return std::nullopt;
}

void AppDelegate::screensChanged() {
    model->buildWindows();
    if (libraryVisible()) {
        mainWindow->store->refresh();
    }
}

bool AppDelegate::adoptPendingFilm() {
    if (!pendingFilm) {
        return false;
    }
    const std::string path =
        (std::filesystem::path(m_library->videosDir()) / (*pendingFilm + ".mov")).string();
    if (!isFile(path)) {
        return false;
    }
    pendingFilm.reset();
    model->switchVideo(Url::fromFilePath(path));
    return true;
}

void AppDelegate::openUrls(const std::vector<Url>& urls) {
    for (const auto& url : urls) {
        const auto id = filmLinkIdentifier(url);
        if (!id) {
            continue;
        }
        pendingFilm = upperCased(*id);
        if (!adoptPendingFilm()) {
            showMainWindow();
            // Asked for as given: the queue compares identifiers without regard to case.
            model->downloader->start({*id});
            if (auto why = whyNotFetched(*m_library, *model->downloader, *pendingFilm)) {
                m_platform.log->line("Drovane: cannot open film " + *pendingFilm + ": " + *why);
                libraryStore()->showNotice("Cannot open the film \u201C" + *pendingFilm + "\u201D: " + *why +
                                           ".");
            }
        }
        return;
    }
}

void AppDelegate::showMainWindow() {
    if (!mainWindow) {
        mainWindow =
            MainWindowController::create(m_platform, *model, libraryStore(), m_library, startSelection);
    }
    mainWindow->showWindow();
}

void AppDelegate::showSettings() {
    if (!settingsWindow) {
        settingsWindow = SettingsWindowController::create(m_platform, model);
        // Still none when the window is asked for before launching has finished; it is handed
        // over once made.
        settingsWindow->view()->setUpdateCheck(updateCheck);
    }
    settingsWindow->show();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows) {
        showMainWindow();
    }
    return true;
}

} // namespace drovane
