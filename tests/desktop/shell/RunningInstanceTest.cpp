#include "desktop/DesktopTestSupport.h"
#include "desktop/shell/ApplicationService.h"
#include "desktop/shell/DBusRunningInstance.h"
#include "fakes/TempDir.h"
#include "platform/ApplicationDelegate.h"

#include <future>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

class RecordingDelegate final : public ApplicationDelegate {
public:
    void applicationDidFinishLaunching() override {}
    void openUrls(const std::vector<Url>& urls) override { opened.push_back(urls); }
    bool applicationShouldHandleReopen(bool) override { return true; }
    std::vector<std::vector<Url>> opened;
};

class RunningInstanceTest : public ::testing::Test {
protected:
    RunningInstanceTest() {
        ensureQtApplication();
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    }
    ~RunningInstanceTest() override { unsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    // The later copy blocks while it waits for its answer; the running one answers from the
    // event loop, so the later one runs beside it.
    std::future<bool> forward(std::vector<Url> urls, double timeout = 5.0) {
        return std::async(std::launch::async, [urls = std::move(urls), timeout] {
            return DBusRunningInstance(applicationId, timeout).forward(urls);
        });
    }
    bool finish(std::future<bool>& answer) {
        waitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                nullptr, 15);
        return answer.get();
    }

    static constexpr const char* applicationId = "app.drovane";
    fakes::TempDir dir;
    PrivateBus bus{dir.path(), "session"};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

Url link(const char* text) {
    return Url::parse(text).value();
}

// (Links and activations handed to a running copy, and a later copy without a session bus, are
// followed end to end in the launch and program tests.)
TEST_F(RunningInstanceTest, ACopyStillStartingIsWaitedForAndNoCopyIsGivenUpOn) {
    auto nobody = forward({}, 0.5);
    EXPECT_FALSE(finish(nobody));

    // The name comes a moment after the lock.
    auto early = forward({link("drovane://film/a1"), link("drovane://other/x")});
    QTest::qWait(600);
    ApplicationService service(bus.connect(QStringLiteral("late")), applicationId, delegate,
                               [] { return false; });
    ASSERT_EQ(service.publish(), std::nullopt);
    ASSERT_TRUE(service.published());
    EXPECT_TRUE(finish(early));
    ASSERT_TRUE(waitFor([&] { return !delegate->opened.empty(); }));
    EXPECT_EQ(delegate->opened[0], (std::vector<Url>{link("drovane://film/a1"), link("drovane://other/x")}));
}

} // namespace
} // namespace drovane::desktop
