#pragma once

#include "ui/TileModel.h"

#include <QAbstractListModel>
#include <vector>

namespace drovane::desktop {

// The tiles the detail area shows, in grid order (section by section). A new state for the same
// films in the same order changes only the rows that differ, so a download's progress repaints
// only its own tile. Main thread only.
class TileListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        LabelRole,
        OnDiskRole,
        CurrentRole,
        FavoriteRole,
        ProgressRole, // -1 while not downloading
        WaitingRole,
        RingRole,  // the ring's fraction, 0 without ring
        BadgeRole, // the idle badge's symbol, "" without badge
        BusyRole,  // downloading or waiting: hovering shows the cross
        SectionRole,
        FailureRole, // why the last download failed, "" when it did not
        SpokenRole,  // its state as a screen reader says it
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Every role of one row as a map, for views that read rows by number.
    Q_INVOKABLE QVariantMap tile(int row) const;
    // The favourite button of a row, on a tile with or without its picture: {symbol, tooltip,
    // color ("red", "white" or "secondary"), shadow (its opacity)}.
    Q_INVOKABLE QVariantMap heart(int row, bool hasPicture) const;

    // Replaces the tiles; true when the list of films or their sections changed, false when
    // only films' states or files did (those rows change in place).
    bool setTiles(std::vector<TileModel::State> tiles);
    const std::vector<TileModel::State>& tiles() const { return m_tiles; }

private:
    std::vector<TileModel::State> m_tiles;
};

} // namespace drovane::desktop
