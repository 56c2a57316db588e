#include "desktop/shell/QtAlerts.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/shell/QtBackedWindow.h"
#include "platform/Window.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

// A window of the program, for an alert to be a sheet of.
class ParentWindow final : public Window, public QtBackedWindow {
public:
    ParentWindow() { widget.setGeometry(100, 100, 300, 200); }
    Rect frame() const override { return {}; }
    bool isVisible() const override { return widget.isVisible(); }
    bool isOccludedVisible() const override { return widget.isVisible(); }
    bool snapshot(const std::string&) override { return false; }
    QWindow* qtWindow() const override { return widget.windowHandle(); }

    void show() {
        widget.show();
        waitUntil([this] { return widget.windowHandle() && widget.windowHandle()->isExposed(); }, 5);
    }

    QWidget widget;
};

QMessageBox* shownAlert() {
    const auto windows = QApplication::topLevelWidgets();
    const auto it = std::ranges::find_if(
        windows, [](QWidget* w) { return w->inherits("QMessageBox") && w->isVisible(); });
    return it == windows.end() ? nullptr : qobject_cast<QMessageBox*>(*it);
}

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title) {
    const auto buttons = box.buttons();
    const auto it = std::ranges::find_if(buttons, [&](QAbstractButton* b) { return b->text() == title; });
    return it == buttons.end() ? nullptr : *it;
}

class QtAlertsTest : public ::testing::Test {
protected:
    QMessageBox* waitForAlert() {
        waitUntil([] { return shownAlert() && shownAlert()->windowHandle()->isExposed(); }, 5);
        return shownAlert();
    }
    // Each answer as the button's index, with "+" when the box was ticked.
    std::function<void(AlertResponse)> record() {
        return [this](AlertResponse r) {
            responses.push_back(std::to_string(r.button) + (r.suppressed ? "+" : ""));
        };
    }

    QtAlerts alerts{testApplication()};
    ParentWindow parent;
    std::vector<std::string> responses;
};

TEST_F(QtAlertsTest, ASheetIsModalToItsWindowAndAnswersWithTheButtonAndTheBox) {
    parent.show();
    alerts.show(
        {"Time to match", "Pick it there as well.", {"Open Website", "OK"}, "Stop reminding me", false},
        &parent, record());
    QMessageBox* box = waitForAlert();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->windowHandle()->transientParent(), parent.qtWindow());
    ASSERT_TRUE(box->checkBox());
    QTest::mouseClick(box->checkBox(), Qt::LeftButton);
    QTest::mouseClick(buttonTitled(*box, "OK"), Qt::LeftButton);
    EXPECT_TRUE(responses.empty()) << "the completion comes from the event loop, not from inside the click";
    ASSERT_TRUE(waitUntil([&] { return !responses.empty(); }, 5));
    EXPECT_EQ(responses, std::vector<std::string>{"1+"});
    EXPECT_TRUE(waitUntil([] { return !shownAlert(); }, 5));
}

TEST_F(QtAlertsTest, WithoutAVisibleParentTheAlertIsApplicationModalAndInFront) {
    alerts.show({"Could not reach the update server.", "", {"Open Website", "OK"}, "", false}, &parent,
                record());
    QMessageBox* box = waitForAlert();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == box; }, 5)) << "brought to the front";

    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !responses.empty(); }, 5));
    EXPECT_EQ(responses, std::vector<std::string>{"0"}) << "Return chooses the default";
}

TEST_F(QtAlertsTest, EscapeAndTheCloseButtonAnswerWithTheButtonThatDeclines) {
    // Escape used to close a two-button alert without any answer, leaving its caller waiting.
    const struct {
        std::vector<std::string> buttons;
        bool byCloseButton;
        int answer;
    } cases[] = {
        {{"Use as Desktop Background", "Not Now"}, false, 1},
        {{"Open Download Page", "Cancel"}, false, 1},
        {{"Cancel", "Retry"}, false, 0},
        {{"OK"}, false, 0},
        {{"Update Now", "Later"}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.buttons.front() + (c.byCloseButton ? ", closed" : ", Escape"));
        responses.clear();
        alerts.show({"Message", "", c.buttons, "", false}, nullptr, record());
        QMessageBox* box = waitForAlert();
        ASSERT_TRUE(box);
        if (c.byCloseButton) {
            box->close();
        } else {
            QTest::keyClick(box, Qt::Key_Escape);
        }
        ASSERT_TRUE(waitUntil([&] { return !responses.empty(); }, 5));
        spin(0.05);
        EXPECT_EQ(responses, std::vector<std::string>{std::to_string(c.answer)});
        EXPECT_TRUE(waitUntil([] { return !shownAlert(); }, 5));
    }
}

TEST_F(QtAlertsTest, AProgressAlertHasItsBarAndCloseEndsItWithoutAnswer) {
    parent.show();
    auto handle = alerts.show(
        {"Downloading Drovane 1.5.0\u2026", "It will reopen when it is done.", {"Cancel"}, "", true}, &parent,
        record());
    QMessageBox* box = waitForAlert();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->findChild<QProgressBar*>());
    handle->close();
    EXPECT_TRUE(waitUntil([] { return !shownAlert(); }, 5));
    spin(0.1);
    EXPECT_TRUE(responses.empty());
}

} // namespace
} // namespace drovane::desktop
