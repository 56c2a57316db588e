#pragma once

#include "desktop/shell/QtBackedWindow.h"
#include "ui/LibraryWindow.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QQuickView;

namespace drovane::desktop {

class LibraryBridge;

// The library window: a Qt Quick view of the QML browser over a LibraryBridge. The view, its QML
// engine and the bridge are made when the window is first shown (or looked into): a wallpaper
// running all day without the window never pays for them. Closing it only hides it; its items
// and their state (selection, scroll position) stay. Main thread only.
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

    LibraryBridge& bridge() const;
    QQuickView& view() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeView() const;
    void whenMade(std::function<void()> apply);

    mutable std::optional<LibraryWindowContent> m_content;
    mutable std::unique_ptr<QQuickView> m_view;
    mutable LibraryBridge* m_bridge = nullptr; // owned by the view's engine
    // Frames and sizes set before the view exists, applied in order when it is made.
    mutable std::vector<std::function<void()>> m_pending;
    std::optional<Rect> m_pendingFrame;
    QTimer m_frameSettled;
};

} // namespace drovane::desktop
