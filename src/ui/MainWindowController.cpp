#include "ui/MainWindowController.h"

#include "library/Downloader.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "library/Manifest.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "support/AtomicFile.h"
#include "support/Settings.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace drovane {

namespace {

bool playsOneOf(const AppModel& model, const std::vector<std::string>& paths) {
    return model.videoURL && std::find(paths.begin(), paths.end(), model.videoURL->path()) != paths.end();
}

// Why a catalogue fetch gives no usable manifest; nothing when it does. Only a whole aerials
// manifest replaces nothing-at-all: an error page or a cut-off answer would hide the empty
// state's button for good.
std::optional<std::string> catalogFailure(const HttpDataResult& result) {
    if (!result.error.empty()) {
        return result.error;
    }
    if (result.statusCode != 200 || !result.body) {
        return "HTTP " +
               (result.statusCode ? std::to_string(*result.statusCode) : std::string("without status"));
    }
    const std::string_view json(reinterpret_cast<const char*>(result.body->data()), result.body->size());
    if (std::string whyNot; !parseManifest(
            json, [] { return StringTable{}; }, &whyNot)) {
        return "not an aerials manifest (" + whyNot + ")";
    }
    return std::nullopt;
}

} // namespace

std::shared_ptr<MainWindowController> MainWindowController::create(const Platform& platform, AppModel& model,
                                                                   std::shared_ptr<LibraryStore> store,
                                                                   std::shared_ptr<const Library> library,
                                                                   SidebarSelection start) {
    auto controller = std::make_shared<MainWindowController>(Passkey{}, platform, model, std::move(store),
                                                             std::move(library));
    controller->m_actions = controller->makeActions();
    if (platform.libraryWindows) {
        LibraryWindowContent content{controller->store, ThumbnailCache::create(platform),
                                     controller->m_library, controller->m_actions, std::move(start)};
        controller->m_window = platform.libraryWindows->makeLibraryWindow(std::move(content));
        std::weak_ptr<MainWindowController> weakSelf = controller;
        controller->m_window->onClosed = [weakSelf] {
            if (auto self = weakSelf.lock()) {
                self->windowClosed();
            }
        };
        controller->m_window->onFrameChanged = [weakSelf](Rect frame) {
            if (auto self = weakSelf.lock()) {
                self->saveFrame(frame);
            }
        };
        controller->restoreFrame();
    }
    return controller;
}

MainWindowController::MainWindowController(Passkey, const Platform& platform, AppModel& model_,
                                           std::shared_ptr<LibraryStore> store_,
                                           std::shared_ptr<const Library> library)
    : model(model_), store(std::move(store_)), m_platform(platform), m_library(std::move(library)) {}

void MainWindowController::showWindow() {
    store->refresh();
    m_platform.workspace->setActivationPolicy(ActivationPolicy::Regular);
    m_platform.workspace->activate();
    if (m_window) {
        m_window->show();
    }
}

void MainWindowController::windowClosed() {
    m_platform.workspace->setActivationPolicy(ActivationPolicy::Accessory);
}

void MainWindowController::restoreFrame() {
    auto text = m_platform.defaults->string(frameKey);
    if (!text) {
        return;
    }
    std::istringstream in(*text);
    Rect frame;
    if (in >> frame.origin.x >> frame.origin.y >> frame.size.width >> frame.size.height &&
        frame.size.width > 0 && frame.size.height > 0) {
        m_window->setFrame(frame);
    }
}

void MainWindowController::saveFrame(Rect frame) {
    std::ostringstream out;
    out << frame.origin.x << ' ' << frame.origin.y << ' ' << frame.size.width << ' ' << frame.size.height;
    m_platform.defaults->set(frameKey, out.str());
}

MainWindowActions MainWindowController::makeActions() {
    std::weak_ptr<MainWindowController> weakSelf = weak_from_this();
    // Runs `body` with the controller while it exists.
    auto bound = [weakSelf](auto body) {
        return [weakSelf, body](const auto&... args) {
            if (auto self = weakSelf.lock()) {
                body(*self, args...);
            }
        };
    };
    MainWindowActions a;
    a.select = bound([](MainWindowController& self, const LibraryItem& item) {
        if (!item.url) {
            return;
        }
        if (self.model.videoURL && self.model.videoURL->path() == item.url->path()) {
            return;
        }
        // The store may not have caught up yet with a film that left the disk: show that rather
        // than make a missing file the wallpaper.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(item.url->path(), ec)) {
            self.store->refresh();
            return;
        }
        self.model.switchVideo(*item.url);
    });
    a.download = bound([](MainWindowController& self, const LibraryItem& item) {
        self.model.downloader->start(std::vector<std::string>{item.id});
        self.store->refresh();
    });
    a.downloadBatch = bound([](MainWindowController& self, int count) {
        const int missing = static_cast<int>(self.m_library->missingAssets().size());
        const int k = std::min(missing, count);
        if (k < 1) {
            return;
        }
        self.model.downloader->start(k);
        self.store->refresh();
    });
    a.cancelDownload = bound([](MainWindowController& self) {
        self.model.downloader->cancelAll();
        self.store->refresh();
    });
    a.cancelItem = bound([](MainWindowController& self, const LibraryItem& item) {
        self.model.downloader->cancel(item.id);
        self.store->refresh();
    });
    // Needs nothing of the controller.
    std::shared_ptr<Workspace> workspace = m_platform.workspace;
    a.revealInFinder = [workspace](const LibraryItem& item) {
        if (item.url) {
            workspace->revealFiles({item.url->path()});
        }
    };
    a.deleteItem =
        bound([](MainWindowController& self, const LibraryItem& item) { self.deleteFromDevice({item}); });
    a.downloadMany = bound([](MainWindowController& self, const std::vector<LibraryItem>& items) {
        if (items.empty()) {
            return;
        }
        std::vector<std::string> ids;
        for (const auto& item : items) {
            ids.push_back(item.id);
        }
        self.model.downloader->start(ids);
        self.store->refresh();
    });
    a.deleteMany = bound([](MainWindowController& self, const std::vector<LibraryItem>& items) {
        self.deleteFromDevice(items);
    });
    // On Linux no system pane fetches the catalogue: the program fetches it itself.
    a.openWallpaperSettings = bound([](MainWindowController& self) { self.fetchCatalog(); });
    return a;
}

void MainWindowController::deleteFromDevice(const std::vector<LibraryItem>& items) {
    std::vector<std::string> paths;
    for (const auto& item : items) {
        if (item.url) {
            paths.push_back(item.url->path());
        }
    }
    if (paths.empty()) {
        return;
    }
    if (playsOneOf(model, paths)) {
        // Never onto another film of the same deletion while one outside it remains.
        model.shuffleNext(paths);
        if (playsOneOf(model, paths)) {
            model.clearVideo();
        }
    }
    // Every file is tried; the first failure is the one reported.
    std::optional<std::string> failure;
    bool anyMoved = false;
    for (const auto& path : paths) {
        if (auto error = m_platform.workspace->moveToTrash(path); !error) {
            anyMoved = true;
        } else if (!failure) {
            failure = std::move(error);
        }
    }
    std::weak_ptr<MainWindowController> weakSelf = weak_from_this();
    m_platform.mainQueue->post([weakSelf, failure, anyMoved, log = m_platform.log] {
        // Films that did leave must not stay listed as on disk, even when others were refused.
        if (anyMoved) {
            if (auto self = weakSelf.lock()) {
                self->store->refresh();
            }
        }
        if (!failure) {
            return;
        }
        log->line("Drovane: delete failed: " + *failure);
        auto self = weakSelf.lock();
        if (!self || !self->m_window || !self->m_platform.alerts) {
            return;
        }
        AlertContent alert;
        alert.message = deleteFailedMessage;
        alert.informativeText = *failure;
        alert.buttons = {"OK"};
        self->m_platform.alerts->show(alert, self->m_window.get(), [](AlertResponse) {});
    });
}

void MainWindowController::fetchCatalog() {
    if (m_catalogTask) {
        return;
    }
    if (!m_platform.http) {
        catalogFetchFailed("no network");
        return;
    }
    store->setCatalogFetch({true, {}});
    const Url url = Settings::siteURL().withPath(catalogPath);
    std::weak_ptr<MainWindowController> weakSelf = weak_from_this();
    auto mainQueue = m_platform.mainQueue;
    m_catalogTask = m_platform.http->get(url, 30.0, [weakSelf, mainQueue](const HttpDataResult& result) {
        mainQueue->post([weakSelf, result] {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            self->m_catalogTask.reset();
            if (auto failure = catalogFailure(result)) {
                self->catalogFetchFailed(*failure);
                return;
            }
            const std::string bytes(result.body->begin(), result.body->end());
            std::error_code ignored;
            std::filesystem::create_directories(
                std::filesystem::path(self->m_library->manifestPath()).parent_path(), ignored);
            if (auto error = writeFileAtomically(self->m_library->manifestPath(), bytes)) {
                self->catalogFetchFailed(*error);
                return;
            }
            self->store->setCatalogFetch({});
            self->store->refresh();
        });
    });
    m_catalogTask->resume();
}

void MainWindowController::catalogFetchFailed(const std::string& reason) {
    m_platform.log->line("Drovane: catalog fetch failed: " + reason);
    store->setCatalogFetch({false, reason});
}

void snapshot(Window& window, const std::string& path, Log& log) {
    log.line(window.snapshot(path) ? "Drovane: snapshot written to " + path : "Drovane: snapshot failed");
}

} // namespace drovane
