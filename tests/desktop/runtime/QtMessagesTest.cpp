#include "desktop/runtime/QtMessages.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

TEST(QtMessages, EachMessageIsOneDrovaneLineNamingItsKindAndCategory) {
    const struct {
        QtMsgType type;
        const char* category;
        std::string message;
        std::string line;
    } rows[] = {
        {QtWarningMsg, "qt.qpa.xcb", "QXcbConnection: XCB error: 3",
         "Drovane: Qt warning (qt.qpa.xcb): QXcbConnection: XCB error: 3"},
        {QtCriticalMsg, "default", "cannot open", "Drovane: Qt critical: cannot open"},
        {QtWarningMsg, nullptr, "plain", "Drovane: Qt warning: plain"},
        {QtWarningMsg, "qml", "file.qml:3: first\nsecond\r\n",
         "Drovane: Qt warning (qml): file.qml:3: first second"},
        {QtDebugMsg, "qt.multimedia", "", "Drovane: Qt debug (qt.multimedia):"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(qtMessageLine(row.type, row.category, row.message), row.line);
    }
}

} // namespace
} // namespace drovane::desktop
