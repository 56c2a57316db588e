#pragma once

#include "desktop/shell/QtBackedWindow.h"
#include "ui/SettingsWindow.h"

#include <QObject>
#include <memory>

class QQuickView;

namespace drovane::desktop {

class SettingsBridge;

// The settings window: a fixed 460 x 420 Qt Quick view of the QML settings over a
// SettingsBridge, titled and closable only, centred when made. Closing it only hides it.
// Main thread only.
class QmlSettingsWindow final : public QObject, public SettingsWindow, public QtBackedWindow {
    Q_OBJECT
public:
    static constexpr int viewWidth = 460;
    static constexpr int viewHeight = 420;

    explicit QmlSettingsWindow(std::shared_ptr<SettingsView> view);
    ~QmlSettingsWindow() override;

    Rect frame() const override;
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    bool snapshot(const std::string& path) override;
    void show() override;
    void clearFocus() override;
    QWindow* qtWindow() const override;

    QQuickView& view() const { return *m_view; }
    SettingsBridge& bridge() const { return *m_bridge; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QQuickView> m_view;
    SettingsBridge* m_bridge = nullptr; // owned by the view's engine
};

} // namespace drovane::desktop
