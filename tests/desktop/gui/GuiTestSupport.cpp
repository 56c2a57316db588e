#include "GuiTestSupport.h"

#include "desktop/QtApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdlib>

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

std::string makeFilm(const std::string& folder, const std::string& name, const std::string& source,
                     double seconds) {
    const std::string path = folder + "/" + name;
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i '" + source + "' -t " + std::to_string(seconds) +
        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 15 -f mov '" + path + "'";
    return std::system(command.c_str()) == 0 ? path : std::string{};
}

QColor meanColor(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    double r = 0, g = 0, b = 0;
    const int step = std::max(1, std::min(rgb.width(), rgb.height()) / 64);
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

int spread(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    const int step = std::max(1, std::min(rgb.width(), rgb.height()) / 64);
    for (int y = 0; y < rgb.height(); y += step) {
        for (int x = 0; x < rgb.width(); x += step) {
            const QRgb p = rgb.pixel(x, y);
            const int c[3] = {qRed(p), qGreen(p), qBlue(p)};
            for (int i = 0; i < 3; ++i) {
                low[i] = std::min(low[i], c[i]);
                high[i] = std::max(high[i], c[i]);
            }
        }
    }
    return std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2], 0});
}

double difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return 255;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    const int step = std::max(1, std::min(x.width(), x.height()) / 64);
    double total = 0;
    int count = 0;
    for (int row = 0; row < x.height(); row += step) {
        for (int col = 0; col < x.width(); col += step) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            total +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    }
    return count ? total / count : 0;
}

} // namespace drovane::desktop::testing
