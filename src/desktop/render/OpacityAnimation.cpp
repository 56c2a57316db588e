#include "desktop/render/OpacityAnimation.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

namespace drovane::desktop {

namespace {

void queue(std::function<void()> work) {
    if (work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
    }
}

} // namespace

OpacityAnimation::OpacityAnimation(std::function<void(double opacity)> show) : m_show(std::move(show)) {}

OpacityAnimation::~OpacityAnimation() = default;

void OpacityAnimation::run(double from, double to, double seconds, std::function<void()> completion) {
    interrupt();
    if (!(seconds > 0)) {
        m_show(to);
        queue(std::move(completion));
        return;
    }
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(16);
        QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] { step(); });
    }
    m_completion = std::move(completion);
    m_from = from;
    m_to = to;
    m_seconds = seconds;
    m_clock.start();
    m_timer->start();
}

void OpacityAnimation::interrupt() {
    if (m_timer) {
        m_timer->stop();
    }
    queue(std::exchange(m_completion, nullptr));
}

void OpacityAnimation::step() {
    const double t = std::min(1.0, static_cast<double>(m_clock.nsecsElapsed()) / 1e9 / m_seconds);
    m_show(m_from + (m_to - m_from) * t);
    if (t >= 1.0) {
        m_timer->stop();
        if (auto finished = std::exchange(m_completion, nullptr)) {
            finished();
        }
    }
}

} // namespace drovane::desktop
