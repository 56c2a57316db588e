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
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<FakeMainQueue> mainQueue = std::make_shared<FakeMainQueue>(clock);
    std::shared_ptr<ManualTaskQueues> taskQueues = std::make_shared<ManualTaskQueues>();
    std::shared_ptr<CapturedLog> log = std::make_shared<CapturedLog>();
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<MemoryDefaultsStore> defaults = std::make_shared<MemoryDefaultsStore>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    std::shared_ptr<FakeLoginItems> loginItems = std::make_shared<FakeLoginItems>();
    std::shared_ptr<FakeVideo> video = std::make_shared<FakeVideo>(mainQueue);
    std::shared_ptr<FakeWindowServer> windowServer = std::make_shared<FakeWindowServer>(clock);
    std::shared_ptr<FakeSystemEvents> systemEvents = std::make_shared<FakeSystemEvents>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakeImages> images = std::make_shared<FakeImages>();
    std::shared_ptr<FakeStatusBar> statusBar = std::make_shared<FakeStatusBar>();
    std::shared_ptr<ScriptedHttp> http = std::make_shared<ScriptedHttp>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    std::shared_ptr<FakeLibraryWindows> libraryWindows = std::make_shared<FakeLibraryWindows>();
    std::shared_ptr<FakeSettingsWindows> settingsWindows = std::make_shared<FakeSettingsWindows>();
    std::shared_ptr<FakeDesktopBackground> desktopBackground =
        std::make_shared<FakeDesktopBackground>(host->tree() / "pictures");

    // The installed platform; a test may put further fakes into it.
    Platform& platform() { return *m_platform; }
    // Runs the main thread's due work and every background queue until neither has any left.
    void settle();

private:
    std::shared_ptr<Platform> m_platform;
};

} // namespace drovane::fakes
