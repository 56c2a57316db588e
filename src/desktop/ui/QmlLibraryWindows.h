#pragma once

#include "ui/LibraryWindow.h"

#include <memory>

class QApplication;

namespace drovane::desktop {

// Library windows on Qt Quick.
class QmlLibraryWindows final : public LibraryWindows {
public:
    explicit QmlLibraryWindows(std::shared_ptr<QApplication> application);
    std::shared_ptr<LibraryWindow> makeLibraryWindow(LibraryWindowContent content) override;

private:
    const std::shared_ptr<QApplication> m_application;
};

} // namespace drovane::desktop
