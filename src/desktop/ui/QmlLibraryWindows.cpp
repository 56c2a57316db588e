#include "desktop/ui/QmlLibraryWindows.h"

#include "desktop/ui/QmlLibraryWindow.h"

#include <QApplication>

namespace drovane::desktop {

QmlLibraryWindows::QmlLibraryWindows(std::shared_ptr<QApplication> application)
    : m_application(std::move(application)) {}

std::shared_ptr<LibraryWindow> QmlLibraryWindows::makeLibraryWindow(LibraryWindowContent content) {
    // The window goes before the application object it was made with.
    auto window = std::make_shared<QmlLibraryWindow>(std::move(content));
    return std::shared_ptr<LibraryWindow>(window, window.get());
}

} // namespace drovane::desktop
