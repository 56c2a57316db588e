#pragma once

#include "fakes/CapturedLog.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeDesktopBackground.h"
#include "fakes/FakeHost.h"
#include "fakes/FakeImages.h"
#include "fakes/FakeLibraryWindows.h"
#include "fakes/FakeLoginItems.h"
#include "fakes/FakeMainQueue.h"
#include "fakes/FakeScreens.h"
#include "fakes/FakeSettingsWindows.h"
#include "fakes/FakeStatusBar.h"
#include "fakes/FakeSystemEvents.h"
#include "fakes/FakeVideo.h"
#include "fakes/FakeWindowServer.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualTaskQueues.h"
#include "fakes/MemoryDefaultsStore.h"
#include "fakes/ScriptedHttp.h"
#include "platform/Platform.h"

#include <memory>

namespace drovane::fakes {

// The in-memory machine, installed as the process's platform for as long as it lives, shared by
// the unit tests and the day of use. Tests reach the concrete fakes through its fields; a test of
// a machine without one of them sets the platform's field to null.
class FakePlatform {
    // Made first: each fake below goes into it as it is made.
    std::shared_ptr<Platform> m_platform = std::make_shared<Platform>();

    template <typename T, typename Slot>
    std::shared_ptr<T> put(std::shared_ptr<Slot> Platform::*slot, std::shared_ptr<T> fake) {
        (*m_platform).*slot = fake;
        return fake;
    }

public:
    FakePlatform() { installPlatform(m_platform); }
    ~FakePlatform() {
        mainQueue->discardPending();
        installPlatform(nullptr);
    }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    std::shared_ptr<VirtualClock> clock = put(&Platform::clock, std::make_shared<VirtualClock>());
    std::shared_ptr<FakeMainQueue> mainQueue =
        put(&Platform::mainQueue, std::make_shared<FakeMainQueue>(clock));
    std::shared_ptr<ManualTaskQueues> taskQueues =
        put(&Platform::taskQueues, std::make_shared<ManualTaskQueues>());
    std::shared_ptr<CapturedLog> log = put(&Platform::log, std::make_shared<CapturedLog>());
    std::shared_ptr<FakeHost> host = put(&Platform::host, std::make_shared<FakeHost>());
    std::shared_ptr<MemoryDefaultsStore> defaults =
        put(&Platform::defaults, std::make_shared<MemoryDefaultsStore>());
    std::shared_ptr<FakeScreens> screens = put(&Platform::screens, std::make_shared<FakeScreens>());
    std::shared_ptr<FakeLoginItems> loginItems =
        put(&Platform::loginItems, std::make_shared<FakeLoginItems>());
    std::shared_ptr<FakeVideo> video = put(&Platform::video, std::make_shared<FakeVideo>(mainQueue));
    std::shared_ptr<FakeWindowServer> windowServer =
        put(&Platform::windowServer, std::make_shared<FakeWindowServer>());
    std::shared_ptr<FakeSystemEvents> systemEvents =
        put(&Platform::systemEvents, std::make_shared<FakeSystemEvents>());
    std::shared_ptr<FakeWorkspace> workspace = put(&Platform::workspace, std::make_shared<FakeWorkspace>());
    std::shared_ptr<FakeImages> images = put(&Platform::images, std::make_shared<FakeImages>());
    std::shared_ptr<FakeStatusBar> statusBar = put(&Platform::statusBar, std::make_shared<FakeStatusBar>());
    std::shared_ptr<ScriptedHttp> http = put(&Platform::http, std::make_shared<ScriptedHttp>());
    std::shared_ptr<FakeAlerts> alerts = put(&Platform::alerts, std::make_shared<FakeAlerts>());
    std::shared_ptr<FakeLibraryWindows> libraryWindows =
        put(&Platform::libraryWindows, std::make_shared<FakeLibraryWindows>());
    std::shared_ptr<FakeSettingsWindows> settingsWindows =
        put(&Platform::settingsWindows, std::make_shared<FakeSettingsWindows>());
    std::shared_ptr<FakeDesktopBackground> desktopBackground =
        put(&Platform::desktopBackground, std::make_shared<FakeDesktopBackground>(host->tree() / "pictures"));

    // The installed platform; a test may put further fakes into it.
    Platform& platform() { return *m_platform; }
    // Runs the main thread's due work and every background queue until neither has any left.
    void settle() {
        mainQueue->drain();
        while (taskQueues->runAll() > 0) {
            mainQueue->drain();
        }
    }
};

} // namespace drovane::fakes
