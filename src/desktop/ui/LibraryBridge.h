#pragma once

#include "desktop/ui/TileListModel.h"
#include "library/SidebarSelection.h"
#include "platform/Subscription.h"
#include "ui/LibraryWindow.h"

#include <QObject>
#include <QVariant>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace drovane::desktop {

class ThumbnailImageProvider;

// The library browser's state and choices for QML, made from the ui/ models over the store:
// the sidebar, the detail area's header and state, the tiles and the grid's rows. Store changes
// are gathered and applied once per turn of the event loop. Main thread only.
class LibraryBridge final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList sidebar READ sidebar NOTIFY sidebarChanged)
    Q_PROPERTY(QString selectionKey READ selectionKey WRITE setSelectionKey NOTIFY detailChanged)
    Q_PROPERTY(QString title READ title NOTIFY detailChanged)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY detailChanged)
    Q_PROPERTY(QString content READ content NOTIFY detailChanged)
    Q_PROPERTY(QVariantMap emptyState READ emptyState NOTIFY detailChanged)
    Q_PROPERTY(QString nothingHere READ nothingHere CONSTANT)
    Q_PROPERTY(QObject* tiles READ tiles CONSTANT)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY rowsChanged)
    Q_PROPERTY(int liveThumbnails READ liveThumbnails NOTIFY liveThumbnailsChanged)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // Why the wallpaper cannot be seen, when another program's desktop hides it; else empty.
    Q_PROPERTY(QString desktopNotice READ desktopNotice NOTIFY desktopNoticeChanged)
    // The tile the grid's keyboard focus is on, and the grid row that holds it; -1 without tiles.
    // It stays on the same film while the store changes.
    Q_PROPERTY(int focusTile READ focusTile WRITE setFocusTile NOTIFY focusChanged)
    Q_PROPERTY(int focusRow READ focusRow NOTIFY focusChanged)

public:
    LibraryBridge(LibraryWindowContent content, ThumbnailImageProvider* thumbnails,
                  QObject* parent = nullptr);
    ~LibraryBridge() override;

    QVariantList sidebar() const { return m_sidebar; }
    QString selectionKey() const;
    void setSelectionKey(const QString& key);
    QString title() const;
    QString subtitle() const;
    QString content() const;
    QVariantMap emptyState() const;
    QString nothingHere() const;
    QObject* tiles() { return &m_tiles; }
    QVariantList rows() const { return m_rows; }
    // Films whose picture is held for a tile now.
    int liveThumbnails() const { return static_cast<int>(m_thumbUsers.size()); }
    // The window's notice; "" while none shows.
    QString notice() const;
    Q_INVOKABLE void dismissNotice();
    QString desktopNotice() const;

    int focusTile() const { return m_focusTile; }
    void setFocusTile(int tile);
    int focusRow() const;
    // A key pressed while the grid has the focus, `pageRows` the rows it shows at once; false
    // when the key means nothing there.
    Q_INVOKABLE bool gridKey(int key, int modifiers, int pageRows);
    // Up and Down in the sidebar: the next row is chosen and shown at once.
    Q_INVOKABLE bool sidebarKey(int key);

    // The grid lays out this many tiles a row.
    Q_INVOKABLE void setColumns(int columns);
    Q_INVOKABLE void tap(int row);
    Q_INVOKABLE void toggleFavorite(int row);
    // A menu as [{title, separator}]; the chosen entry by its position.
    Q_INVOKABLE QVariantList tileMenu(int row) const;
    Q_INVOKABLE void triggerTileMenu(int row, int entry);
    Q_INVOKABLE QVariantList sectionMenu(const QString& key) const;
    Q_INVOKABLE void triggerSectionMenu(const QString& key, int entry);
    Q_INVOKABLE void triggerEmptyButton(int button);
    // A tile of `filmId` came on screen, went away, or its film's file changed. Acquiring
    // returns the picture's address when it is at hand (else it comes by thumbReady).
    Q_INVOKABLE QString acquireThumb(const QString& filmId);
    Q_INVOKABLE void releaseThumb(const QString& filmId);
    Q_INVOKABLE void loadThumb(const QString& filmId);

    // Applies the store's state now.
    void update();

signals:
    void sidebarChanged();
    void detailChanged();
    void rowsChanged();
    void liveThumbnailsChanged();
    void noticeChanged();
    void desktopNoticeChanged();
    void focusChanged();
    // A picture for `filmId` arrived: `source` is its image address, empty for none.
    void thumbReady(const QString& filmId, const QString& source);

private:
    void scheduleUpdate();
    void rebuildRows();
    const LibraryItem* itemAt(int row) const;
    void focusOn(int tile);

    const LibraryWindowContent m_content;
    ThumbnailImageProvider* const m_thumbnails;
    SidebarSelection m_selection;
    TileListModel m_tiles;
    QVariantList m_sidebar;
    QVariantList m_rows;
    QString m_subtitle;
    std::vector<std::string> m_sectionTitles; // per tile: the heading above its section, or ""
    int m_columns = 4;
    int m_focusTile = -1;
    std::string m_focusId;
    bool m_updatePending = false;
    std::map<std::string, int> m_thumbUsers;
    // The image address of each held picture that has arrived.
    std::map<std::string, QString> m_thumbSources;
    unsigned m_thumbGeneration = 0;
    std::vector<Subscription> m_subscriptions;
};

} // namespace drovane::desktop
