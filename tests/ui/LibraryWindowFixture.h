#pragma once

#include "fakes/AerialsTree.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeLibraryWindows.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "ui/MainWindowController.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace drovane {

// A catalogue of three underwater and two city films, the engine, the store and the window's
// controller on the fake platform.
class LibraryWindowFixture : public ::testing::Test {
protected:
    using Film = fakes::AerialsTree::Film;

    LibraryWindowFixture() {
        aerials.writeManifest({
            {"U1", "Reef", "AerialCategoryUnderwater", "https://cdn.test/U1.mov", "https://cdn.test/U1.jpg"},
            {"U2", "Kelp", "AerialCategoryUnderwater", "https://cdn.test/U2.mov", std::nullopt},
            {"U3", "Trench", "AerialCategoryUnderwater", "https://cdn.test/U3.mov", std::nullopt},
            {"C1", "Skyline", "AerialCategoryCities", "https://cdn.test/C1.mov", std::nullopt},
            {"C2", "Bridge", "AerialCategoryCities", "https://cdn.test/C2.mov", std::nullopt},
        });
        model = AppModel::create(fake.platform(), library);
        store = LibraryStore::create(model, fake.platform(), library);
    }

    // Makes the controller once the files are in place, and publishes a first scan.
    MainWindowController& controller(SidebarSelection start = SidebarSelection::all()) {
        if (!m_controller) {
            m_controller = MainWindowController::create(fake.platform(), *model, store, library, start);
            publish();
        }
        return *m_controller;
    }
    // Asks the store for a scan and lets it land.
    void publish() {
        store->refresh();
        settle();
    }
    fakes::FakeLibraryWindow& window() { return *fake.libraryWindows->made.at(0); }
    // Runs the main queue and every scan; returns how many scans ran.
    std::size_t settle() {
        std::size_t scans = 0;
        fake.mainQueue->drain();
        for (std::size_t n; (n = scanQueue().runAll()) > 0;) {
            scans += n;
            fake.mainQueue->drain();
        }
        return scans;
    }
    fakes::ManualTaskQueue& scanQueue() { return *fake.taskQueues->queue(LibraryStore::scanQueueLabel); }
    // A film of the video folder; its URL.
    Url onDisk(const std::string& id) { return Url::fromFilePath(aerials.addVideo(id + ".mov")); }
    LibraryItem item(const std::string& id) const {
        for (const auto& i : store->items().value()) {
            if (i.id == id) {
                return i;
            }
        }
        return {id, id, "Nowhere", std::nullopt, std::nullopt};
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<AppModel> model;
    std::shared_ptr<LibraryStore> store;

private:
    std::shared_ptr<MainWindowController> m_controller;
};

} // namespace drovane
