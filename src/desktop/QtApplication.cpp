#include "desktop/QtApplication.h"

#include <QApplication>
#include <mutex>

namespace drovane::desktop {

namespace {

// QApplication keeps references to argc and argv for its whole life.
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
    }

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
        holder = std::make_shared<ApplicationHolder>(arguments);
        g_holder = holder;
    }
    return std::shared_ptr<QApplication>(holder, holder->m_application.get());
}

} // namespace drovane::desktop
