#include "desktop/runtime/QtScreens.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

namespace drovane::desktop {

QtScreens::QtScreens(std::shared_ptr<QApplication> application, double coalesceSeconds)
    : m_application(std::move(application)), m_context(std::make_unique<QObject>()) {
    m_timer = new QTimer(m_context.get());
    m_timer->setSingleShot(true);
    m_timer->setInterval(static_cast<int>(coalesceSeconds * 1000));
    QObject::connect(m_timer, &QTimer::timeout, m_context.get(), [this] { report(); });

    auto* app = m_application.get();
    QObject::connect(app, &QGuiApplication::screenAdded, m_context.get(), [this](QScreen* screen) {
        watch(screen);
        changed();
    });
    QObject::connect(app, &QGuiApplication::screenRemoved, m_context.get(), [this] { changed(); });
    QObject::connect(app, &QGuiApplication::primaryScreenChanged, m_context.get(), [this] { changed(); });
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    m_reported = layout();
}

QtScreens::~QtScreens() = default;

void QtScreens::watch(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, m_context.get(), [this] { changed(); });
    // Qt derives a screen's pixel ratio from its logical dots per inch.
    QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, m_context.get(), [this] { changed(); });
}

std::vector<Rect> QtScreens::frames() const {
    std::vector<Rect> result;
    for (const auto& [frame, ratio] : layout()) {
        result.push_back(frame);
    }
    return result;
}

std::vector<std::pair<Rect, double>> QtScreens::layout() const {
    std::vector<std::pair<Rect, double>> result;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        result.emplace_back(Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}},
                            screen->devicePixelRatio());
    }
    return result;
}

Subscription QtScreens::observeChanges(std::function<void()> handler) {
    return m_handlers.add(std::move(handler));
}

void QtScreens::changed() {
    m_timer->start();
}

void QtScreens::report() {
    auto now = layout();
    if (now == m_reported) {
        return;
    }
    m_reported = std::move(now);
    m_handlers.notify();
}

} // namespace drovane::desktop
