#pragma once

#include <QList>
#include <QString>

namespace hchat {

/// One line of the members list.
struct RosterEntry {
    QString nick;  ///< caption
    int icon = 0;  ///< image index in imgMembers
    int state = 0; ///< state icon index; 0 for none
    int tag = 0;   ///< code of the ID's last character; 0 matches any
    QString key;   ///< sort key, see MemberList::SortKey
    QString note;  ///< shown after the nick: "no answer since hh:mm" while the server misses it
};

} // namespace hchat

// Entries move by memmove when one is inserted or removed in the middle.
Q_DECLARE_TYPEINFO(hchat::RosterEntry, Q_RELOCATABLE_TYPE);

namespace hchat {

/// Told about every change of a MemberList before and after it happens, in
/// the order a Qt item model needs. Rows are 0-based. This one hears
/// nothing: a list without a view tells it.
class MemberListObserver
{
public:
    virtual ~MemberListObserver() = default;
    virtual void beginInsert(int /*row*/) {}
    virtual void endInsert() {}
    virtual void beginRemove(int /*row*/) {}
    virtual void endRemove() {}
    /// `destination` counts rows before the move, as QAbstractItemModel does.
    virtual void beginMove(int /*from*/, int /*destination*/) {}
    virtual void endMove() {}
    virtual void changed(int /*row*/) {}
    virtual void beginReset() {}
    virtual void endReset() {}
};

/// The members list kept in display order at all times: every change puts
/// one entry in its place (binary search plus one shift), so a record costs
/// O(log n) to O(n) and the list never needs a full sort.
class MemberList
{
public:
    /// The key `lstMembersCompare` orders by: "=" and the nick in lower case
    /// (case-folded, so that plain comparison of keys is case-insensitive) for
    /// icons up to 61; for icons 62 and up the character 113 - icon instead of
    /// "=", which puts them first, the highest icon first.
    static QString SortKey(const QString &nick, int icon);
    /// `lstMembersCompare`: negative, 0 or positive, keys compared case-insensitively.
    static int lstMembersCompare(const RosterEntry &a, const RosterEntry &b);

    int count() const { return int(m_entries.size()); }
    const RosterEntry &at(int row) const { return m_entries[row]; }

    /// `MemberIndex`: the first entry, in display order, with this caption
    /// (case-sensitive) and tag, a tag of 0 on either side matching any; -1
    /// when none.
    int find(const QString &nick, int tag) const;

    /// Adds an entry in its place (after entries of an equal key); its row.
    int insert(const QString &nick, int icon, int state, int tag);
    void removeAt(int row);
    /// New icon and state for an entry, moved if its place changes; its new row.
    int update(int row, int icon, int state);
    /// The note shown after an entry's nick.
    void setNote(int row, const QString &note);
    /// Sets every entry's state `from` to `to` (new arrivals settling down).
    void replaceState(int from, int to);
    void clear();

    /// One observer (the view's model); null to detach.
    void setObserver(MemberListObserver *observer) { m_observer = observer ? observer : &s_noObserver; }

private:
    qsizetype upperBound(const QString &key) const;

    QList<RosterEntry> m_entries;
    static inline MemberListObserver s_noObserver;
    MemberListObserver *m_observer = &s_noObserver;
};

} // namespace hchat
