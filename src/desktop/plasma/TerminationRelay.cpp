#include "desktop/plasma/TerminationRelay.h"

#include <QSocketNotifier>
#include <array>
#include <cassert>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace drovane::desktop {

namespace {

constexpr std::array<int, 3> relayedSignals{SIGTERM, SIGINT, SIGHUP};

// Written from the signal handler, read on the main thread.
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;
struct sigaction g_earlier[relayedSignals.size()];

void restoreEarlier() {
    for (std::size_t i = 0; i < relayedSignals.size(); ++i) {
        ::sigaction(relayedSignals[i], &g_earlier[i], nullptr);
    }
}

void onSignal(int signal) {
    if (g_signal != 0) {
        // The first one is still being handled: end as before, now.
        restoreEarlier();
        ::raise(signal);
        return;
    }
    g_signal = signal;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

TerminationRelay::TerminationRelay(std::function<void()> beforeEnd) : m_beforeEnd(std::move(beforeEnd)) {
    assert(g_pipe[0] < 0 && "one relay at a time");
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return; // the earlier handlers stay: the process ends as it did
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { relay(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < relayedSignals.size(); ++i) {
        ::sigaction(relayedSignals[i], &action, &g_earlier[i]);
    }
}

TerminationRelay::~TerminationRelay() {
    if (g_pipe[0] < 0) {
        return;
    }
    restoreEarlier();
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    const int pending = g_signal;
    g_signal = 0;
    if (pending != 0) {
        ::raise(pending); // arrived after the last look at the pipe
    }
}

void TerminationRelay::relay() {
    char drained[16];
    while (::read(g_pipe[0], drained, sizeof drained) > 0) {
    }
    if (m_beforeEnd) {
        m_beforeEnd();
    }
    const int signal = g_signal;
    restoreEarlier();
    ::raise(signal);
}

} // namespace drovane::desktop
