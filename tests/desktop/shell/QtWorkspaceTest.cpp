#include "desktop/shell/QtWorkspace.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/GuiTestSupport.h"
#include "fakes/TempDir.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

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
