#include "desktop/ui/LibraryBridge.h"

#include "desktop/ui/LibraryImageProviders.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "ui/DetailModel.h"
#include "ui/GridFocus.h"
#include "ui/SidebarModel.h"

#include <QPointer>
#include <QTimer>

namespace drovane::desktop {

namespace {

QString keyOf(const SidebarSelection& s) {
    switch (s.kind) {
    case SidebarSelection::Kind::All:
        return QStringLiteral("all");
    case SidebarSelection::Kind::Favorites:
        return QStringLiteral("favorites");
    case SidebarSelection::Kind::OnDisk:
        return QStringLiteral("ondisk");
    case SidebarSelection::Kind::Group:
        break;
    }
    return QStringLiteral("group:") + QString::fromStdString(s.group);
}

SidebarSelection selectionOf(const QString& key) {
    if (key.startsWith(QStringLiteral("group:"))) {
        return SidebarSelection::named(key.mid(6).toStdString());
    }
    return SidebarSelection::fromOptionText(key.toStdString());
}

QVariantList menuEntries(const Menu& menu) {
    QVariantList out;
    for (const auto& item : menu) {
        out.append(QVariantMap{{QStringLiteral("title"), QString::fromStdString(item.title)},
                               {QStringLiteral("separator"), item.kind == MenuItem::Kind::Separator}});
    }
    return out;
}

void trigger(const Menu& menu, int entry) {
    if (entry >= 0 && entry < static_cast<int>(menu.size()) && menu[static_cast<std::size_t>(entry)].action) {
        menu[static_cast<std::size_t>(entry)].action();
    }
}

} // namespace

LibraryBridge::LibraryBridge(LibraryWindowContent content, ThumbnailImageProvider* thumbnails,
                             QObject* parent)
    : QObject(parent), m_content(std::move(content)), m_thumbnails(thumbnails), m_selection(m_content.start) {
    const LibraryStore& store = *m_content.store;
    auto changed = [this] { scheduleUpdate(); };
    m_subscriptions.push_back(store.items().subscribe(changed));
    m_subscriptions.push_back(store.currentURL().subscribe(changed));
    m_subscriptions.push_back(store.download().subscribe(changed));
    m_subscriptions.push_back(store.missingCount().subscribe(changed));
    m_subscriptions.push_back(store.hasManifest().subscribe(changed));
    m_subscriptions.push_back(store.scanned().subscribe(changed));
    m_subscriptions.push_back(store.favorites().subscribe(changed));
    m_subscriptions.push_back(store.groups().subscribe(changed));
    m_subscriptions.push_back(store.onDiskCount().subscribe(changed));
    m_subscriptions.push_back(store.catalogFetch().subscribe(changed));
    m_subscriptions.push_back(store.notice().subscribe([this] { emit noticeChanged(); }));
    m_subscriptions.push_back(store.desktopNotice().subscribe([this] { emit desktopNoticeChanged(); }));
    update();
}

LibraryBridge::~LibraryBridge() = default;

QString LibraryBridge::desktopNotice() const {
    return QString::fromStdString(m_content.store->desktopNotice().value());
}

void LibraryBridge::scheduleUpdate() {
    if (m_updatePending) {
        return;
    }
    m_updatePending = true;
    // An update made meanwhile (a new selection) has applied the store already.
    QTimer::singleShot(0, this, [this] {
        if (m_updatePending) {
            update();
        }
    });
}

void LibraryBridge::update() {
    m_updatePending = false;
    const LibraryStore& store = *m_content.store;

    QVariantList sidebar;
    for (const auto& section : SidebarModel::sections(store)) {
        QVariantList rows;
        for (const auto& row : section.rows) {
            rows.append(QVariantMap{{QStringLiteral("title"), QString::fromStdString(row.title)},
                                    {QStringLiteral("symbol"), QString::fromStdString(row.symbol)},
                                    {QStringLiteral("badge"), row.badge},
                                    {QStringLiteral("key"), keyOf(row.selects)}});
        }
        sidebar.append(QVariantMap{{QStringLiteral("header"), QString::fromStdString(section.header)},
                                   {QStringLiteral("rows"), rows}});
    }
    if (sidebar != m_sidebar) {
        m_sidebar = sidebar;
        emit sidebarChanged();
    }

    std::vector<TileModel::State> tiles;
    std::vector<std::string> headings;
    const auto films = store.items(m_selection);
    m_subtitle = QString::fromStdString(DetailModel::subtitle(films));
    for (const auto& section : DetailModel::sections(store, films)) {
        for (std::size_t i = 0; i < section.items.size(); ++i) {
            tiles.push_back(TileModel::state(store, section.items[i]));
            headings.push_back(i == 0 ? section.title.value_or("") : std::string());
        }
    }
    const bool filmsChanged = m_tiles.setTiles(std::move(tiles));
    if (filmsChanged || headings != m_sectionTitles) {
        m_sectionTitles = std::move(headings);
        rebuildRows();
    }
    // The focus stays with its film; where the film has gone, with the tile now in its place.
    const auto& shown = m_tiles.tiles();
    const auto same = std::find_if(shown.begin(), shown.end(),
                                   [this](const TileModel::State& t) { return t.item.id == m_focusId; });
    focusOn(same != shown.end() ? static_cast<int>(same - shown.begin())
                                : std::min(m_focusTile, static_cast<int>(shown.size()) - 1));
    emit detailChanged();
}

void LibraryBridge::rebuildRows() {
    // A heading row before each titled section, then its tiles m_columns a row; `after` is the
    // space below a row: 10 under a heading, 16 between rows, 24 between sections.
    QVariantList rows;
    const auto& tiles = m_tiles.tiles();
    std::size_t i = 0;
    while (i < tiles.size()) {
        std::size_t end = i + 1;
        while (end < tiles.size() && tiles[end].item.group == tiles[i].item.group) {
            ++end;
        }
        if (!m_sectionTitles[i].empty()) {
            rows.append(QVariantMap{{QStringLiteral("heading"), QString::fromStdString(m_sectionTitles[i])},
                                    {QStringLiteral("first"), static_cast<int>(i)},
                                    {QStringLiteral("count"), 0},
                                    {QStringLiteral("after"), 10}});
        }
        for (std::size_t first = i; first < end; first += static_cast<std::size_t>(m_columns)) {
            const auto count = std::min(static_cast<std::size_t>(m_columns), end - first);
            const bool lastOfSection = first + count >= end;
            const int after = !lastOfSection ? 16 : (end < tiles.size() ? 24 : 0);
            rows.append(QVariantMap{{QStringLiteral("heading"), QString()},
                                    {QStringLiteral("first"), static_cast<int>(first)},
                                    {QStringLiteral("count"), static_cast<int>(count)},
                                    {QStringLiteral("after"), after}});
        }
        i = end;
    }
    m_rows = rows;
    emit rowsChanged();
}

void LibraryBridge::focusOn(int tile) {
    const LibraryItem* item = itemAt(tile);
    const int next = item ? tile : -1;
    const int row = focusRow();
    m_focusId = item ? item->id : std::string();
    if (next != m_focusTile) {
        m_focusTile = next;
        emit focusChanged();
    } else if (focusRow() != row) {
        emit focusChanged();
    }
}

void LibraryBridge::setFocusTile(int tile) {
    if (itemAt(tile)) {
        focusOn(tile);
    }
}

int LibraryBridge::focusRow() const {
    for (int i = 0; i < m_rows.size(); ++i) {
        const QVariantMap row = m_rows[i].toMap();
        const int first = row.value(QStringLiteral("first")).toInt();
        if (m_focusTile >= first && m_focusTile < first + row.value(QStringLiteral("count")).toInt()) {
            return i;
        }
    }
    return -1;
}

bool LibraryBridge::gridKey(int key, int modifiers, int pageRows) {
    using enum GridFocus::Move;
    static const std::map<int, GridFocus::Move> moves = {
        {Qt::Key_Left, Left},     {Qt::Key_Right, Right},       {Qt::Key_Up, Up},     {Qt::Key_Down, Down},
        {Qt::Key_PageUp, PageUp}, {Qt::Key_PageDown, PageDown}, {Qt::Key_Home, Home}, {Qt::Key_End, End}};
    if ((modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return false;
    }
    if (auto move = moves.find(key); move != moves.end()) {
        std::vector<int> sections;
        const auto& tiles = m_tiles.tiles();
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            if (i == 0 || tiles[i].item.group != tiles[i - 1].item.group) {
                sections.push_back(0);
            }
            ++sections.back();
        }
        focusOn(GridFocus::move(sections, m_columns, m_focusTile, move->second, pageRows));
        return true;
    }
    const LibraryItem* item = itemAt(m_focusTile);
    if (!item) {
        return false;
    }
    const TileModel::State& tile = m_tiles.tiles()[static_cast<std::size_t>(m_focusTile)];
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        tap(m_focusTile);
        return true;
    case Qt::Key_F:
        toggleFavorite(m_focusTile);
        return true;
    case Qt::Key_Delete:
        // Only where the tile's menu offers "Delete from Device".
        if (TileModel::isDeletable(*item, m_content.library->videosDir())) {
            m_content.actions.deleteItem(*item);
        }
        return true;
    case Qt::Key_Escape:
        // The badge's cross: a download running or waiting.
        if (!tile.busy()) {
            return false;
        }
        m_content.actions.cancelItem(*item);
        return true;
    default:
        return false;
    }
}

bool LibraryBridge::sidebarKey(int key) {
    QStringList keys;
    for (const auto& section : std::as_const(m_sidebar)) {
        for (const auto& row : section.toMap().value(QStringLiteral("rows")).toList()) {
            keys.append(row.toMap().value(QStringLiteral("key")).toString());
        }
    }
    const int at = static_cast<int>(keys.indexOf(selectionKey()));
    int next = at;
    switch (key) {
    case Qt::Key_Up:
        next = std::max(0, at - 1);
        break;
    case Qt::Key_Down:
        next = std::min(static_cast<int>(keys.size()) - 1, at + 1);
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = static_cast<int>(keys.size()) - 1;
        break;
    default:
        return false;
    }
    if (next >= 0 && next != at) {
        setSelectionKey(keys[next]);
    }
    return true;
}

void LibraryBridge::setColumns(int columns) {
    columns = std::max(1, columns);
    if (columns != m_columns) {
        m_columns = columns;
        rebuildRows();
        focusOn(m_focusTile);
    }
}

QString LibraryBridge::selectionKey() const {
    return keyOf(m_selection);
}

void LibraryBridge::setSelectionKey(const QString& key) {
    const SidebarSelection next = selectionOf(key);
    if (next == m_selection) {
        return;
    }
    m_selection = next;
    update();
}

QString LibraryBridge::title() const {
    return QString::fromStdString(DetailModel::title(m_selection));
}

QString LibraryBridge::subtitle() const {
    return m_subtitle;
}

QString LibraryBridge::content() const {
    switch (DetailModel::content(*m_content.store)) {
    case DetailModel::Content::Loading:
        return QStringLiteral("loading");
    case DetailModel::Content::Grid:
        return QStringLiteral("grid");
    case DetailModel::Content::Empty:
        break;
    }
    return QStringLiteral("empty");
}

QVariantMap LibraryBridge::emptyState() const {
    const auto state = DetailModel::emptyState(*m_content.store, m_content.actions);
    QVariantList buttons;
    for (const auto& b : state.buttons) {
        buttons.append(QVariantMap{{QStringLiteral("title"), QString::fromStdString(b.title)},
                                   {QStringLiteral("prominent"), b.prominent},
                                   {QStringLiteral("busy"), b.busy}});
    }
    return {{QStringLiteral("label"), QString::fromStdString(state.label)},
            {QStringLiteral("symbol"), QString::fromStdString(state.symbol)},
            {QStringLiteral("description"), QString::fromStdString(state.description)},
            {QStringLiteral("buttons"), buttons},
            {QStringLiteral("error"), QString::fromStdString(state.error)}};
}

QString LibraryBridge::notice() const {
    return QString::fromStdString(m_content.store->notice().value().value_or(std::string()));
}

void LibraryBridge::dismissNotice() {
    m_content.store->dismissNotice();
}

QString LibraryBridge::nothingHere() const {
    return QString::fromLatin1(DetailModel::nothingHere);
}

const LibraryItem* LibraryBridge::itemAt(int row) const {
    const auto& tiles = m_tiles.tiles();
    return row >= 0 && row < static_cast<int>(tiles.size()) ? &tiles[static_cast<std::size_t>(row)].item
                                                            : nullptr;
}

void LibraryBridge::tap(int row) {
    if (itemAt(row)) {
        TileModel::performTap(m_tiles.tiles()[static_cast<std::size_t>(row)], m_content.actions);
    }
}

void LibraryBridge::toggleFavorite(int row) {
    if (const LibraryItem* item = itemAt(row)) {
        m_content.store->toggleFavorite(item->id);
    }
}

QVariantList LibraryBridge::tileMenu(int row) const {
    if (!itemAt(row)) {
        return {};
    }
    return menuEntries(TileModel::menu(
        m_tiles.tiles()[static_cast<std::size_t>(row)], m_content.actions, [] {},
        m_content.library->videosDir()));
}

void LibraryBridge::triggerTileMenu(int row, int entry) {
    const LibraryItem* item = itemAt(row);
    if (!item) {
        return;
    }
    auto store = m_content.store;
    const std::string id = item->id;
    trigger(TileModel::menu(
                m_tiles.tiles()[static_cast<std::size_t>(row)], m_content.actions,
                [store, id] { store->toggleFavorite(id); }, m_content.library->videosDir()),
            entry);
}

QVariantList LibraryBridge::sectionMenu(const QString& key) const {
    return menuEntries(SidebarModel::sectionMenu(*m_content.store, m_content.actions, selectionOf(key)));
}

void LibraryBridge::triggerSectionMenu(const QString& key, int entry) {
    trigger(SidebarModel::sectionMenu(*m_content.store, m_content.actions, selectionOf(key)), entry);
}

void LibraryBridge::triggerEmptyButton(int button) {
    const auto state = DetailModel::emptyState(*m_content.store, m_content.actions);
    if (button >= 0 && button < static_cast<int>(state.buttons.size()) &&
        !state.buttons[static_cast<std::size_t>(button)].busy) {
        state.buttons[static_cast<std::size_t>(button)].action();
    }
}

QString LibraryBridge::acquireThumb(const QString& filmId) {
    const std::string id = filmId.toStdString();
    if (++m_thumbUsers[id] == 1) {
        emit liveThumbnailsChanged();
    }
    loadThumb(filmId);
    auto source = m_thumbSources.find(id);
    return source == m_thumbSources.end() ? QString() : source->second;
}

void LibraryBridge::releaseThumb(const QString& filmId) {
    auto it = m_thumbUsers.find(filmId.toStdString());
    if (it == m_thumbUsers.end() || --it->second > 0) {
        return;
    }
    m_thumbnails->remove(it->first);
    m_thumbSources.erase(it->first);
    m_thumbUsers.erase(it);
    emit liveThumbnailsChanged();
}

void LibraryBridge::loadThumb(const QString& filmId) {
    const std::string id = filmId.toStdString();
    const LibraryItem* found = nullptr;
    for (const auto& tile : m_tiles.tiles()) {
        if (tile.item.id == id) {
            found = &tile.item;
            break;
        }
    }
    if (!found || !m_content.thumbnails) {
        return;
    }
    QPointer<LibraryBridge> self(this);
    TileModel::loadThumb(*m_content.thumbnails, *found, [self, id](std::shared_ptr<const Image> picture) {
        // A picture that arrives after its last tile went is not kept.
        if (!self || !self->m_thumbUsers.contains(id)) {
            return;
        }
        const QString film = QString::fromStdString(id);
        if (!picture || picture->isEmpty()) {
            self->m_thumbnails->remove(id);
            self->m_thumbSources.erase(id);
            emit self->thumbReady(film, QString());
            return;
        }
        self->m_thumbnails->put(id, std::move(picture));
        const QString source =
            QStringLiteral("image://thumbs/%1/%2").arg(film).arg(++self->m_thumbGeneration);
        self->m_thumbSources[id] = source;
        emit self->thumbReady(film, source);
    });
}

} // namespace drovane::desktop
