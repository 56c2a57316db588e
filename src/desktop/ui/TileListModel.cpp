#include "desktop/ui/TileListModel.h"

#include <algorithm>

namespace drovane::desktop {

int TileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_tiles.size());
}

QVariant TileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const TileModel::State& t = m_tiles[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case LabelRole:
        return QString::fromStdString(t.item.label);
    case IdRole:
        return QString::fromStdString(t.item.id);
    case OnDiskRole:
        return t.item.isOnDisk();
    case CurrentRole:
        return t.isCurrent;
    case FavoriteRole:
        return t.isFavorite;
    case ProgressRole:
        return t.progress.value_or(-1.0);
    case WaitingRole:
        return t.waiting;
    case RingRole:
        return TileModel::ringFraction(t).value_or(0.0);
    case BadgeRole:
        return QString::fromStdString(TileModel::badgeSymbol(t, false).value_or(""));
    case BusyRole:
        return t.busy();
    case SectionRole:
        return QString::fromStdString(t.item.group);
    case FailureRole:
        return QString::fromStdString(TileModel::failureText(t));
    case SpokenRole:
        return QString::fromStdString(TileModel::accessibleState(t));
    default:
        return {};
    }
}

QHash<int, QByteArray> TileListModel::roleNames() const {
    return {{IdRole, "filmId"},       {LabelRole, "label"},       {OnDiskRole, "onDisk"},
            {CurrentRole, "current"}, {FavoriteRole, "favorite"}, {ProgressRole, "progress"},
            {WaitingRole, "waiting"}, {RingRole, "ring"},         {BadgeRole, "badge"},
            {BusyRole, "busy"},       {SectionRole, "section"},   {FailureRole, "failure"},
            {SpokenRole, "spoken"}};
}

QVariantMap TileListModel::tile(int row) const {
    QVariantMap out;
    if (row < 0 || row >= rowCount()) {
        return out;
    }
    const QModelIndex at = index(row);
    const auto names = roleNames();
    for (auto it = names.begin(); it != names.end(); ++it) {
        out.insert(QString::fromLatin1(it.value()), data(at, it.key()));
    }
    return out;
}

QVariantMap TileListModel::heart(int row, bool hasPicture) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    const TileModel::State& t = m_tiles[static_cast<std::size_t>(row)];
    const char* color = "secondary";
    switch (TileModel::heartColor(t, hasPicture)) {
    case TileModel::HeartColor::Red:
        color = "red";
        break;
    case TileModel::HeartColor::White:
        color = "white";
        break;
    case TileModel::HeartColor::Secondary:
        break;
    }
    return {{QStringLiteral("symbol"), QString::fromStdString(TileModel::heartSymbol(t))},
            {QStringLiteral("tooltip"), QString::fromStdString(TileModel::heartTooltip(t))},
            {QStringLiteral("color"), QString::fromLatin1(color)},
            {QStringLiteral("shadow"), TileModel::heartShadowOpacity(t, hasPicture)}};
}

bool TileListModel::setTiles(std::vector<TileModel::State> tiles) {
    // The same films in the same sections keep the grid's layout: a download landing, a
    // favourite or the film playing changes tiles in place, never the rows (nor the scroll).
    const bool sameFilms = std::equal(
        tiles.begin(), tiles.end(), m_tiles.begin(), m_tiles.end(),
        [](const auto& a, const auto& b) { return a.item.id == b.item.id && a.item.group == b.item.group; });
    if (!sameFilms) {
        beginResetModel();
        m_tiles = std::move(tiles);
        endResetModel();
        return true;
    }
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (!(tiles[i] == m_tiles[i])) {
            m_tiles[i] = std::move(tiles[i]);
            const QModelIndex at = index(static_cast<int>(i));
            emit dataChanged(at, at);
        }
    }
    return false;
}

} // namespace drovane::desktop
