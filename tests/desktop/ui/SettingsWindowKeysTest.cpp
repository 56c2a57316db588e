#include "desktop/GuiTestSupport.h"
#include "desktop/ui/QmlSettingsWindow.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "playback/AppModel.h"
#include "ui/SettingsView.h"

#include <QQuickItem>
#include <QQuickView>
#include <QTest>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using testing::waitUntil;

TEST(SettingsWindowKeysTest, EverySwitchAndLinkAnswersTheKeyboardAndTheLabelsToggle) {
    testing::testApplication();
    fakes::FakePlatform fake;
    auto library = std::make_shared<Library>(fake.host);
    auto model = AppModel::create(fake.platform(), library);
    auto settings = std::make_shared<SettingsView>(fake.platform(), model);
    QmlSettingsWindow window(settings);
    auto& view = *static_cast<QQuickView*>(window.qtWindow());
    window.show();
    window.clearFocus();
    ASSERT_TRUE(waitUntil([&] { return view.isExposed() && view.isActive(); }, 5));
    auto focused = [&] {
        QQuickItem* item = view.activeFocusItem();
        const QString name = item ? item->objectName() : QString();
        // A link's name is on its label.
        for (QQuickItem* child : item ? item->childItems() : QList<QQuickItem*>{}) {
            if (child->objectName().startsWith("link:")) {
                return child->objectName().toStdString();
            }
        }
        return name.toStdString();
    };
    // What the four switches and the opened addresses read now.
    auto state = [&] {
        return std::to_string(settings->remindToMatch()) + std::to_string(settings->pauseOnLowPower()) +
               std::to_string(settings->autoUpdate()) + " " +
               std::to_string(fake.workspace->openedUrls.size());
    };
    ASSERT_EQ(state(), "111 0");
    // The login switch of a bare executable is disabled: Tab passes it by.
    const struct {
        Qt::Key key;
        std::string focus;
        std::string state;
    } steps[] = {
        {Qt::Key_Tab, "switch:Remind me to match the desktop background", "111 0"},
        {Qt::Key_Space, "switch:Remind me to match the desktop background", "011 0"},
        {Qt::Key_Tab, "switch:Pause in Low Power Mode", "011 0"},
        {Qt::Key_Return, "switch:Pause in Low Power Mode", "001 0"},
        {Qt::Key_Tab, "switch:Install updates automatically", "001 0"},
        // clang-format off
        {Qt::Key_Tab, "link:Check for Updates", "001 0"},
        {Qt::Key_Tab, "link:Send Feedback", "001 0"},
        // clang-format on
        {Qt::Key_Space, "link:Send Feedback", "001 1"},
        {Qt::Key_Tab, "link:Website", "001 1"},
        {Qt::Key_Enter, "link:Website", "001 2"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.focus);
        testing::pressKey(view, step.key);
        EXPECT_EQ(focused(), step.focus);
        EXPECT_EQ(state(), step.state);
    }
    for (const auto& close : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        SCOPED_TRACE(close.toString().toStdString());
        window.show();
        ASSERT_TRUE(waitUntil([&] { return view.isVisible() && view.isActive(); }, 5));
        QTest::keySequence(&view, close);
        EXPECT_TRUE(waitUntil([&] { return !view.isVisible(); }, 2));
    }
}

} // namespace
} // namespace drovane::desktop
