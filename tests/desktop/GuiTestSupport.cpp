#include "desktop/GuiTestSupport.h"

#include "desktop/runtime/QtApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QWindow>
#include <algorithm>

namespace drovane::desktop::testing {

std::shared_ptr<QApplication> testApplication() {
    // Never destroyed: Qt objects of tests may outlive any scope, and exit tears the rest down.
    static auto* application = new std::shared_ptr<QApplication>(sharedApplication({"drovane-tests"}));
    return *application;
}

bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    testApplication();
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutSeconds * 1000) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spin(double seconds) {
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= seconds * 1000; }, seconds + 1);
}

void pressKey(QWindow& window, int key, int modifiers) {
    const auto active = [&] {
        if (!window.isActive()) {
            window.requestActivate();
        }
        return waitUntil([&] { return window.isActive(); }, 2);
    };
    active();
    QTest::keyClick(&window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    spin(0.05);
    active();
}

QColor meanColor(const QImage& image) {
    // Over a grid of about 64 x 64 pixels.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int step = std::max(1, std::min(rgb.width(), rgb.height()) / 64);
    double r = 0, g = 0, b = 0;
    int count = 0;
    for (int y = 0; y < rgb.height(); y += step) {
        for (int x = 0; x < rgb.width(); x += step) {
            const QRgb p = rgb.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++count;
        }
    }
    if (count == 0) {
        return {};
    }
    return QColor(int(r / count), int(g / count), int(b / count));
}

} // namespace drovane::desktop::testing
