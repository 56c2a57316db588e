#include "desktop/shell/QtStatusBar.h"

#include "desktop/session/dbus/DBusCalls.h"
#include "desktop/shell/DBusMenuExporter.h"
#include "desktop/shell/PanelAppearance.h"
#include "desktop/shell/StatusGlyph.h"
#include "desktop/shell/StatusNotifierItem.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <utility>

namespace drovane::desktop {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// Pixel sizes offered to hosts: every panel from 16 to 48 pixels, at one and two device pixels
// per pixel.
constexpr int pixmapSizes[] = {16, 22, 24, 32, 48, 64, 96};

QList<DBusIconPixmap> pixmapsOf(const StatusIcon& icon, PanelScheme scheme) {
    QList<DBusIconPixmap> pixmaps;
    for (int size : pixmapSizes) {
        const QImage image = drawStatusGlyph(icon, size, scheme).convertToFormat(QImage::Format_ARGB32);
        DBusIconPixmap pixmap{image.width(), image.height(), QByteArray()};
        pixmap.argb.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<uchar*>(pixmap.argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4) {
                qToBigEndian<quint32>(line[x], out);
            }
        }
        pixmaps.push_back(std::move(pixmap));
    }
    return pixmaps;
}

// Fills a QMenu from the model; a submenu is a QMenu of its own.
void fill(QMenu& menu, const Menu& model) {
    // The submenus of the last opening belong to the menu, not to its actions.
    for (QMenu* sub : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        sub->deleteLater();
    }
    menu.clear();
    for (const MenuItem& item : model) {
        const QString title = QString::fromStdString(item.title);
        switch (item.kind) {
        case MenuItem::Kind::Separator:
            menu.addSeparator();
            break;
        case MenuItem::Kind::Header:
            menu.addSection(title);
            break;
        case MenuItem::Kind::Submenu: {
            QMenu* sub = menu.addMenu(title);
            sub->setLayoutDirection(item.submenuDirection == LayoutDirection::RightToLeft ? Qt::RightToLeft
                                                                                          : Qt::LeftToRight);
            fill(*sub, item.submenu);
            sub->setEnabled(item.enabled);
            break;
        }
        case MenuItem::Kind::Action: {
            QAction* action = menu.addAction(title);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checkable);
            action->setChecked(item.checked);
            if (!item.keyEquivalent.empty()) {
                action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") +
                                                 QString::fromStdString(item.keyEquivalent).toUpper()));
                action->setShortcutVisibleInContextMenu(true);
            }
            if (item.action) {
                QObject::connect(action, &QAction::triggered, action, [run = item.action] { run(); });
            }
            break;
        }
        }
    }
}

class QtStatusItem final : public StatusItem {
public:
    QtStatusItem(std::shared_ptr<QApplication> application, QDBusConnection bus, bool wayland)
        : m_application(std::move(application)), m_bus(std::move(bus)), m_wayland(wayland),
          m_appearance(m_bus, [this] { showIcon(); }) {
        registerStatusTypes();
        QObject::connect(m_menu.get(), &QMenu::aboutToShow, &m_context, [this] {
            if (!std::exchange(m_filled, false)) {
                fill(*m_menu, build());
            }
        });
        m_rebuild.setSingleShot(true);
        m_rebuild.setInterval(QtStatusBar::rebuildDelayMs);
        QObject::connect(&m_rebuild, &QTimer::timeout, &m_context, [this] { rebuildNow(); });

        if (m_bus.isConnected()) {
            m_watcher = std::make_unique<QDBusServiceWatcher>(
                watcherService, m_bus,
                QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
            QObject::connect(m_watcher.get(), &QDBusServiceWatcher::serviceRegistered, &m_context,
                             [this] { useNotifierItem(); });
            QObject::connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, &m_context,
                             [this] { useTrayIcon(); });
        }
        if (m_bus.isConnected() && m_bus.interface()->isServiceRegistered(watcherService)) {
            useNotifierItem();
        } else {
            useTrayIcon();
        }
    }

    bool hasButton() const override {
        return m_tray ? QSystemTrayIcon::isSystemTrayAvailable() : static_cast<bool>(m_notifier);
    }

    void setIcon(const StatusIcon& icon) override {
        if (m_iconSet && icon == m_icon) {
            return;
        }
        m_icon = icon;
        m_iconSet = true;
        showIcon();
    }

    void setToolTip(const std::string& text) override {
        m_toolTip = QString::fromStdString(text);
        if (m_notifier) {
            m_notifier->setToolTip(m_toolTip);
        }
        if (m_tray) {
            m_tray->setToolTip(m_toolTip.isEmpty() ? QString::fromStdString(m_icon.accessibleName)
                                                   : m_toolTip);
        }
    }

    void setMenuBuilder(std::function<Menu()> build) override {
        m_build = std::move(build);
        rebuildNow();
    }

    void menuStateChanged() override {
        if (!m_rebuild.isActive()) {
            m_rebuild.start();
        }
    }

private:
    Menu build() const { return m_build ? m_build() : Menu{}; }

    void rebuildNow() {
        m_rebuild.stop();
        // The XEmbed menu is ours and always says when it opens: it is built then, never while
        // open (an open submenu would close).
        if (m_exporter) {
            m_exporter->rebuild();
        }
    }

    void showIcon() {
        if (!m_iconSet) {
            return;
        }
        const PanelScheme scheme = m_appearance.scheme();
        if (m_notifier) {
            m_notifier->setTitle(QString::fromStdString(m_icon.accessibleName));
            m_notifier->setIcon(pixmapsOf(m_icon, scheme));
        }
        if (m_tray) {
            m_tray->setIcon(statusGlyphIcon(m_icon, scheme));
            if (m_toolTip.isEmpty()) {
                m_tray->setToolTip(QString::fromStdString(m_icon.accessibleName));
            }
            m_tray->show(); // not before: an icon shown without a picture is a Qt warning
        }
    }

    // A watcher is there: the item is published (once) and registered with it, again after
    // every restart of the watcher. Watchers come with the host that shows the items.
    void useNotifierItem() {
        if (!m_notifier) {
            m_exporter = std::make_unique<DBusMenuExporter>(m_bus, [this] { return build(); });
            m_notifier = std::make_unique<StatusNotifierItem>(m_bus);
            m_notifier->setToolTip(m_toolTip);
            m_notifier->onMenuRequested = [this](QPoint at) { popUp(at); };
            m_notifier->activateShowsMenu = !m_wayland;
        }
        if (m_tray) {
            m_tray->hide();
            m_tray.reset();
        }
        showIcon();
        auto call = QDBusMessage::createMethodCall(watcherService, watcherPath, watcherService,
                                                   QStringLiteral("RegisterStatusNotifierItem"));
        call << m_bus.baseService();
        dbus::callAsync(m_bus, call, &m_context, [](const QDBusMessage&) {});
    }

    // No watcher: an XEmbed tray icon, which docks whenever a tray manager appears.
    void useTrayIcon() {
        if (m_tray) {
            return;
        }
        m_tray = std::make_unique<QSystemTrayIcon>();
        m_tray->setContextMenu(m_menu.get());
        // The menu opens on any click, as hosts of notifier items do.
        QObject::connect(m_tray.get(), &QSystemTrayIcon::activated, &m_context,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger) {
                                 popUp(QCursor::pos());
                             }
                         });
        showIcon();
    }

    // The menu as a popup of our own, at `at` on the screen: for hosts that ask the item to show
    // its menu rather than showing the exported one, and for the XEmbed tray.
    void popUp(QPoint at) {
        // A Wayland client can open a menu only from a surface of its own that was just clicked,
        // never at a point of the host's: the click does what the menu's first item does (it
        // opens the library window, which offers what the menu does).
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            const Menu menu = build();
            const auto first = std::find_if(menu.begin(), menu.end(), [](const MenuItem& item) {
                return item.kind == MenuItem::Kind::Action && item.enabled && item.action;
            });
            if (first != menu.end()) {
                first->action();
            }
            return;
        }
        // Some hosts send 0,0 or a point of their own surface when they know no better.
        QScreen* screen = at.isNull() ? nullptr : QGuiApplication::screenAt(at);
        if (!screen) {
            at = QCursor::pos();
            screen = QGuiApplication::screenAt(at);
        }
        // Filled first: where it goes depends on its size.
        fill(*m_menu, build());
        m_filled = true;
        m_menu->popup(screen ? QtStatusBar::menuPosition(at, m_menu->sizeHint(), screen->availableGeometry())
                             : at);
        m_filled = false;
    }

    // Outlives the widgets below, whenever the item goes.
    std::shared_ptr<QApplication> m_application;
    QDBusConnection m_bus;
    bool m_wayland;
    QObject m_context;
    PanelAppearance m_appearance;
    QTimer m_rebuild;
    std::function<Menu()> m_build;
    StatusIcon m_icon;
    bool m_iconSet = false;
    QString m_toolTip;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    std::unique_ptr<DBusMenuExporter> m_exporter;
    std::unique_ptr<StatusNotifierItem> m_notifier;
    // Filled from the model each time it opens, wherever it opens.
    std::unique_ptr<QMenu> m_menu = std::make_unique<QMenu>();
    // Filled just before it pops up: its opening need not build it again.
    bool m_filled = false;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};

} // namespace

QtStatusBar::QtStatusBar(std::shared_ptr<QApplication> application, std::string busAddress, bool wayland)
    : m_application(std::move(application)), m_busAddress(std::move(busAddress)), m_wayland(wayland) {}

QtStatusBar::~QtStatusBar() = default;

QPoint QtStatusBar::menuPosition(QPoint at, QSize size, QRect area) {
    const auto place = [](int point, int extent, int low, int high) {
        int start = point;
        if (point < low) {
            start = low; // on a panel before the free area
        } else if (point > high) {
            start = high - extent + 1; // on a panel after it
        } else if (point + extent - 1 > high) {
            start = point - extent; // turned up or left
        }
        return std::clamp(start, low, std::max(low, high - extent + 1));
    };
    return {place(at.x(), size.width(), area.left(), area.right()),
            place(at.y(), size.height(), area.top(), area.bottom())};
}

std::shared_ptr<StatusItem> QtStatusBar::makeItem() {
    static std::atomic<int> serial{0};
    QDBusConnection bus = m_busAddress.empty()
                              ? QDBusConnection::sessionBus()
                              : dbus::connectBus(m_busAddress, QDBusConnection::SessionBus,
                                                 QStringLiteral("drovane-status-%1").arg(serial++));
    return std::make_shared<QtStatusItem>(m_application, bus, m_wayland);
}

} // namespace drovane::desktop
