#pragma once

#include "desktop/shell/QtBackedWindow.h"
#include "ui/LibraryWindow.h"

#include <QObject>
#include <QTimer>
#include <memory>

class QQuickView;

namespace drovane::desktop {

class LibraryBridge;

// The library window: a Qt Quick view of the QML browser over a LibraryBridge. Closing it only
// hides it; its items and their state (selection, scroll position) stay. Main thread only.
class QmlLibraryWindow final : public QObject, public LibraryWindow, public QtBackedWindow {
    Q_OBJECT
public:
    explicit QmlLibraryWindow(LibraryWindowContent content);
    ~QmlLibraryWindow() override;

    Rect frame() const override;
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    bool snapshot(const std::string& path) override;
    void show() override;
    void setFrame(Rect frame) override;
    void setContentSize(Size size) override;
    QWindow* qtWindow() const override;

    LibraryBridge& bridge() const { return *m_bridge; }
    QQuickView& view() const { return *m_view; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QQuickView> m_view;
    LibraryBridge* m_bridge = nullptr; // owned by the view's engine
    QTimer m_frameSettled;
};

} // namespace drovane::desktop
