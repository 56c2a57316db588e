#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace drovane::desktop {

// Lets work that must not be skipped (giving the desktop back) run on the main thread when the
// process is told to end (SIGTERM, SIGINT, SIGHUP), before the handlers installed earlier end it
// as they would have. A second signal while the first is handled goes straight to them, so a
// stuck main thread cannot keep the process alive. One at a time per process. Main thread.
class TerminationRelay final : public QObject {
public:
    explicit TerminationRelay(std::function<void()> beforeEnd);
    ~TerminationRelay() override;

private:
    void relay();

    std::function<void()> m_beforeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace drovane::desktop
