#pragma once

#include "chat/memberlist.h"

#include <QAbstractListModel>

namespace hchat {

class Roster;

/// The members list as a Qt list model for `lstMembers`: the nick in bold,
/// the member's icon from imgMembers as decoration, the state icon under
/// StateIconRole. Follows every change of the roster row by row, so the view
/// keeps its selection and scroll position while records arrive.
class RosterModel : public QAbstractListModel, private MemberListObserver
{
    Q_OBJECT
public:
    enum Role {
        IconRole = Qt::UserRole + 1, ///< int: icon number
        StateRole,                   ///< int: state number, 0 for none
        StateIconRole,               ///< QIcon: the state's picture; null for state 0
        TagRole,                     ///< int: code of the ID's last character
    };

    explicit RosterModel(Roster &roster, QObject *parent = nullptr);
    ~RosterModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void beginInsert(int row) override { beginInsertRows({}, row, row); }
    void endInsert() override { endInsertRows(); }
    void beginRemove(int row) override { beginRemoveRows({}, row, row); }
    void endRemove() override { endRemoveRows(); }
    void beginMove(int from, int destination) override { beginMoveRows({}, from, from, {}, destination); }
    void endMove() override { endMoveRows(); }
    void changed(int row) override { emit dataChanged(index(row), index(row)); }
    void beginReset() override { beginResetModel(); }
    void endReset() override { endResetModel(); }

    Roster &m_roster;
};

} // namespace hchat
