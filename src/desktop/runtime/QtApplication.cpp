#include "desktop/runtime/QtApplication.h"

#include "desktop/runtime/QtMessages.h"
#include "support/Settings.h"

#include <QApplication>
#include <QIcon>
#include <atomic>
#include <cstdlib>
#include <mutex>

// Resources of a static library are linked in only when named.
static void initApplicationResources() {
    Q_INIT_RESOURCE(application);
}

namespace drovane::desktop {

namespace {

// Set once exit() has begun: static destructors then run in an order Qt's own globals do not
// survive, and destroying the QApplication among them crashes.
std::atomic<bool> g_exiting{false};

// QApplication keeps references to argc and argv for its whole life. The holder's mutable
// strings give it argv entries it may rewrite.
struct ApplicationHolder {
    explicit ApplicationHolder(const std::vector<std::string>& arguments) : m_arguments(arguments) {
        if (m_arguments.empty()) {
            m_arguments.emplace_back("drovane");
        }
        for (auto& argument : m_arguments) {
            m_argv.push_back(argument.data());
        }
        m_argv.push_back(nullptr);
        m_argc = static_cast<int>(m_arguments.size());
        m_application = std::make_unique<QApplication>(m_argc, m_argv.data());
        QApplication::setQuitOnLastWindowClosed(false);
        // Desktops match windows to the launcher entry by this name and show its icon.
        QGuiApplication::setDesktopFileName(QString::fromLatin1(Settings::standardDomain));
        initApplicationResources();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/drovane/app.drovane.svg")));
        // Registered after every static object built so far, so it runs before their destructors.
        static std::once_flag registered;
        std::call_once(registered, [] { std::atexit([] { g_exiting = true; }); });
    }
    ~ApplicationHolder() {
        if (g_exiting) {
            // The process is ending; the operating system takes the rest back.
            (void)m_application.release();
        }
    }
    ApplicationHolder(const ApplicationHolder&) = delete;
    ApplicationHolder& operator=(const ApplicationHolder&) = delete;

    std::vector<std::string> m_arguments;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<QApplication> m_application;
};

std::mutex g_mutex;
std::weak_ptr<ApplicationHolder> g_holder;

} // namespace

std::shared_ptr<QApplication> sharedApplication(const std::vector<std::string>& arguments) {
    std::lock_guard lock(g_mutex);
    auto holder = g_holder.lock();
    if (!holder) {
        // Qt 6.4 would otherwise pick whichever media plugin it finds first.
        if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
            qputenv("QT_MEDIA_BACKEND", "gstreamer");
        }
        installQtMessageHandler();
        holder = std::make_shared<ApplicationHolder>(arguments);
        g_holder = holder;
    }
    return std::shared_ptr<QApplication>(holder, holder->m_application.get());
}

} // namespace drovane::desktop
