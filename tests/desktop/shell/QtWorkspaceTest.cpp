#include "desktop/shell/QtWorkspace.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/GuiTestSupport.h"
#include "desktop/x11/X11Properties.h"
#include "fakes/TempDir.h"
#include "platform/ApplicationDelegate.h"

#include <QApplication>
#include <QPalette>
#include <QQuickWindow>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

class RecordingDelegate final : public ApplicationDelegate {
public:
    explicit RecordingDelegate(QtWorkspace& workspace) : m_workspace(workspace) {}
    void applicationDidFinishLaunching() override {
        ++launches;
        loopRunning = QThread::currentThread()->loopLevel() > 0;
        m_workspace.terminate();
    }
    void openUrls(const std::vector<Url>&) override {}
    bool applicationShouldHandleReopen(bool) override { return true; }

    int launches = 0;
    bool loopRunning = false;

private:
    QtWorkspace& m_workspace;
};

TEST(QtWorkspace, TheDelegateHearsOfTheLaunchFromInsideTheLoopAndTerminateEndsIt) {
    QtWorkspace workspace(testApplication(), "app.drovane.workspace-test");
    auto delegate = std::make_shared<RecordingDelegate>(workspace);
    EXPECT_EQ(workspace.runEventLoop(delegate), 0);
    EXPECT_EQ(delegate->launches, 1);
    EXPECT_TRUE(delegate->loopRunning);
}

TEST(QtWorkspace, AnAccessoryApplicationKeepsItsWindowsOutOfTheTaskbar) {
    QtWorkspace workspace(testApplication(), "app.drovane.workspace-test");
    const std::uint32_t skip = x11::atom("_NET_WM_STATE_SKIP_TASKBAR");
    auto skips = [&](QWindow& w) {
        return std::ranges::count(x11::readCardinals(x11::nativeWindow(w), "_NET_WM_STATE"), skip) == 1;
    };

    workspace.setActivationPolicy(ActivationPolicy::Accessory);
    QQuickWindow library;
    library.setGeometry(0, 0, 200, 100);
    library.create();
    EXPECT_TRUE(skips(library)) << "a window made while accessory is out of the taskbar";

    // Regular again: the window returns to the taskbar (without a window manager the request
    // goes unanswered, so only the unmapped window's property can be checked).
    workspace.setActivationPolicy(ActivationPolicy::Regular);
    EXPECT_FALSE(skips(library));
    QQuickWindow settings;
    settings.create();
    EXPECT_FALSE(skips(settings));
}

TEST(QtWorkspace, AppearanceSetsADarkOrLightPalette) {
    QtWorkspace workspace(testApplication(), "app.drovane.workspace-test");
    workspace.setAppearance(Appearance::Dark);
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QApplication::palette().color(QPalette::WindowText).lightness(), 180);
    workspace.setAppearance(Appearance::Light);
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 180);
}

// (Moving a film to the Trash is followed end to end in the library window's tests.)
TEST(QtWorkspace, MoveToTrashOfAMissingFileSaysWhy) {
    QtWorkspace workspace(testApplication(), "app.drovane.workspace-test");
    const auto missing = workspace.moveToTrash("/no/such/folder/missing.mov");
    ASSERT_TRUE(missing.has_value());
    EXPECT_FALSE(missing->empty());
}

TEST(QtWorkspace, RevealAsksTheFileManagerToShowTheFiles) {
    // A bus of this test's own: nothing of the machine's session is touched.
    fakes::TempDir dir;
    PrivateBus bus(dir.path(), "session");
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    testApplication();
    QDBusConnection session = QDBusConnection::sessionBus();
    ASSERT_TRUE(session.isConnected());
    std::vector<QVariantList> calls;
    FakeObject manager(session, QStringLiteral("/org/freedesktop/FileManager1"),
                       QStringLiteral("org.freedesktop.FileManager1"));
    manager.methods["ShowItems"] = [&](const QDBusMessage& message) {
        calls.push_back(message.arguments());
        return message.createReply();
    };
    ASSERT_TRUE(session.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    QtWorkspace workspace(testApplication(), "app.drovane.workspace-test");
    workspace.revealFiles({"/home/someone/Films/A B.mov", "/home/someone/Films/C.mov"});
    ASSERT_TRUE(waitUntil([&] { return !calls.empty(); }, 5));
    const QStringList urls{"file:///home/someone/Films/A%20B.mov", "file:///home/someone/Films/C.mov"};
    EXPECT_EQ(calls, (std::vector<QVariantList>{{urls, QString()}}));
    session.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
}

} // namespace
} // namespace drovane::desktop
