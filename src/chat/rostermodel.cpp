#include "chat/rostermodel.h"

#include "chat/membericons.h"
#include "chat/roster.h"

#include <QFont>
#include <QIcon>

namespace hchat {

RosterModel::RosterModel(Roster &roster, QObject *parent) : QAbstractListModel(parent), m_roster(roster)
{
    m_roster.members().setObserver(this);
}

RosterModel::~RosterModel()
{
    m_roster.members().setObserver(nullptr);
}

int RosterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_roster.count();
}

QVariant RosterModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_roster.count())
        return {};
    const RosterEntry &e = m_roster.entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.note.isEmpty() ? e.nick : e.nick + QStringLiteral("  (") + e.note + u')';
    case Qt::DecorationRole:
        return MemberIcons::icon(e.icon);
    case Qt::FontRole: {
        QFont f;
        f.setBold(true);
        return f;
    }
    case Qt::ToolTipRole:
        return e.state ? e.nick + QStringLiteral(" (") + MemberIcons::name(e.state) + u')' : e.nick;
    case IconRole:
        return e.icon;
    case StateRole:
        return e.state;
    case StateIconRole:
        return e.state ? MemberIcons::icon(e.state) : QIcon();
    case TagRole:
        return e.tag;
    default:
        return {};
    }
}

QHash<int, QByteArray> RosterModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[IconRole] = "icon";
    names[StateRole] = "state";
    names[StateIconRole] = "stateIcon";
    names[TagRole] = "tag";
    return names;
}

} // namespace hchat
